// File-name bytes <-> text: any bytes decode to a text that encodes back to the same bytes;
// valid UTF-8 decodes as any UTF-8 decoder would; exactly the undecodable bytes become the
// escape units; and a text without lone surrogates survives encoding and decoding.

#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include "fuzz_support.h"

#include <QStringDecoder>

using namespace dirka;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const QByteArray raw(bytes, qsizetype(size));
    const QString decoded = DecodeFileName(bytes, size);
    FUZZ_CHECK(EncodeFileName(decoded) == raw);

    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString standard = utf8(raw);
    if (!utf8.hasError())
        FUZZ_CHECK(decoded == standard);
    qsizetype escaped = 0;
    for (qsizetype i = 0; i < decoded.size(); ++i)
        escaped += IsEscapedByte(decoded, i);
    FUZZ_CHECK((escaped > 0) == utf8.hasError());

    // Decoding with padding reads past the name but answers for the name alone.
    std::vector<char16_t> padded(size + DecodePadding);
    const QByteArray behind = raw + QByteArray(qsizetype(DecodePadding), '\x80');
    bool printable = false;
    const qsizetype written =
        DecodePaddedFileNameInto(padded.data(), behind.constData(), size, &printable);
    FUZZ_CHECK(QStringView(padded.data(), written) == decoded);
    FUZZ_CHECK(printable == IsPrintableAscii(bytes, qsizetype(size)));

    // Appending goes after what the buffers hold already, as a path is built from its folder.
    QString path = QStringLiteral("/d\u00E9j\u00E0/");
    AppendDecodedFileName(path, bytes, size);
    FUZZ_CHECK(path == QStringLiteral("/d\u00E9j\u00E0/") + decoded);
    QByteArray encoded("/x/");
    AppendEncodedFileName(encoded, decoded);
    FUZZ_CHECK(encoded == "/x/" + raw);

    // The same bytes read as UTF-16 give a text with any units: when it holds no lone
    // surrogate, it round-trips the other way.
    const QString text(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    bool lone = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            lone = true;
    }
    if (!lone)
        FUZZ_CHECK(DecodeFileName(EncodeFileName(text)) == text);
    return 0;
}
