#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace dirka {

/// A growing run of bytes (or UTF-16 units) for loops that append a few at a time millions of
/// times: an append is a size check and a copy, inline (QByteArray's goes through a general
/// insert, QString's through a detach check and a call).
///   TByteBuffer b; b.Append("ab", 2); b.Append('\n'); b.View() == "ab\n"
template <typename Char> class TBuffer {
    static_assert(std::is_trivially_copyable_v<Char>, "grown with realloc");

public:
    TBuffer() = default;
    TBuffer(const TBuffer& other) { Append(other.Data(), other.Size()); }
    TBuffer& operator=(const TBuffer& other)
    {
        if (this != &other) {
            Clear();
            Append(other.Data(), other.Size());
        }
        return *this;
    }
    TBuffer(TBuffer&& other) noexcept
        : m_data(std::move(other.m_data)), m_size(std::exchange(other.m_size, 0)),
          m_capacity(std::exchange(other.m_capacity, 0))
    {
    }
    TBuffer& operator=(TBuffer&& other) noexcept
    {
        m_data = std::move(other.m_data);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        return *this;
    }

    const Char* Data() const { return m_data.get(); }
    Char* Data() { return m_data.get(); }
    qsizetype Size() const { return m_size; }
    bool IsEmpty() const { return m_size == 0; }
    /// A QByteArrayView of bytes, a QStringView of units.
    auto View(qsizetype from, qsizetype length) const
    {
        if constexpr (std::is_same_v<Char, char>)
            return QByteArrayView(m_data.get() + from, length);
        else
            return QStringView(m_data.get() + from, length);
    }
    auto View() const { return View(0, m_size); }

    void Clear() { m_size = 0; }
    /// Keeps the first size bytes (size <= Size()).
    void Truncate(qsizetype size) { m_size = size; }
    /// Room for extra more bytes, so Data() + Size() may be written that far.
    Char* Reserve(qsizetype extra)
    {
        if (m_size + extra > m_capacity)
            grow(extra);
        return m_data.get() + m_size;
    }
    /// After writing at Reserve(): the bytes up to end belong to the buffer.
    void SetEnd(const Char* end) { m_size = end - m_data.get(); }

    void Append(const Char* items, qsizetype length)
    {
        if (length == 0)
            return;
        std::memcpy(Reserve(length), items, std::size_t(length) * sizeof(Char));
        m_size += length;
    }
    void Append(QByteArrayView bytes) requires std::is_same_v<Char, char>
    {
        Append(bytes.data(), bytes.size());
    }
    void Append(Char c)
    {
        *Reserve(1) = c;
        ++m_size;
    }
    /// Removes the first count bytes, moving the rest to the front.
    void RemoveFront(qsizetype count)
    {
        if (count == 0)
            return; // also when nothing was ever allocated
        std::memmove(m_data.get(), m_data.get() + count,
                     std::size_t(m_size - count) * sizeof(Char));
        m_size -= count;
    }

private:
    struct TFree {
        void operator()(Char* data) const { std::free(data); }
    };

    // A large block grows where it lies or has its pages moved (mremap): nothing is copied, and
    // the old block is not held beside the new one, which for a folder of a million names would
    // add the whole old buffer to the peak.
    void grow(qsizetype extra)
    {
        const qsizetype capacity = std::max<qsizetype>({m_size + extra, 2 * m_capacity, 256});
        void* data = std::realloc(m_data.get(), std::size_t(capacity) * sizeof(Char));
        if (data == nullptr)
            throw std::bad_alloc();
        (void)m_data.release();
        m_data.reset(static_cast<Char*>(data));
        m_capacity = capacity;
    }

    std::unique_ptr<Char, TFree> m_data;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};

using TByteBuffer = TBuffer<char>;
using TUnitBuffer = TBuffer<char16_t>;

} // namespace dirka
