#include "cli/output_writer.h"

#include "core/listing/lines_target.h"

#include <QStringEncoder>

#include <cerrno>
#include <vector>

namespace dirka {

namespace {
constexpr std::size_t BufferBytes = 1 << 20;
constexpr std::size_t MaxUtf8PerUnit = 3;
} // namespace

TStreamOutcome WriteLines(std::FILE* stream, const TLinesTarget& lines)
{
    QStringEncoder encoder(QStringEncoder::Utf8);
    std::vector<char> buffer(BufferBytes);
    std::size_t used = 0;
    const auto flush = [&] {
        const bool ok = std::fwrite(buffer.data(), 1, used, stream) == used;
        used = 0;
        return ok;
    };
    const auto outcome = [] {
        return errno == EPIPE ? TStreamOutcome::Closed : TStreamOutcome::Failed;
    };
    for (qsizetype i = 0; i < lines.LineCount(); ++i) {
        const QStringView line = lines.Line(i);
        const std::size_t needed = std::size_t(line.size()) * MaxUtf8PerUnit + 1;
        if (used + needed > buffer.size() && !flush())
            return outcome();
        if (needed > buffer.size())
            buffer.resize(needed);
        char* end = encoder.appendToBuffer(buffer.data() + used, line);
        *end++ = '\n';
        used = std::size_t(end - buffer.data());
    }
    if (!flush() || std::fflush(stream) != 0 || std::ferror(stream))
        return outcome();
    return TStreamOutcome::Written;
}

} // namespace dirka
