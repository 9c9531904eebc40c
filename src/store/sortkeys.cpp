#include "sortkeys.h"

#include <QString>

#include <unicode/ucol.h>

#include <cstring>

namespace {
constexpr size_t BlockBytes = size_t(1) << 20;
} // namespace

SortKeyMaker::SortKeyMaker()
{
    // The settings of the program's Japanese collator: Japanese rules with
    // normalization, letter case ignored (secondary strength), numbers read
    // as numbers, punctuation not ignored.
    UErrorCode status = U_ZERO_ERROR;
    m_collator = ucol_open("ja", &status);
    if (U_FAILURE(status)) {
        m_collator = nullptr;
        return;
    }
    ucol_setAttribute(m_collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    ucol_setAttribute(m_collator, UCOL_STRENGTH, UCOL_SECONDARY, &status);
    ucol_setAttribute(m_collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    ucol_setAttribute(m_collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
}

SortKeyMaker::~SortKeyMaker()
{
    if (m_collator)
        ucol_close(m_collator);
}

char* SortKeyMaker::room(size_t bytes)
{
    if (bytes > m_free) {
        const size_t size = std::max(bytes, BlockBytes);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        m_next = m_blocks.back().get();
        m_free = size;
    }
    return m_next;
}

const char* SortKeyMaker::key(QStringView text)
{
    if (!m_collator) { // no collation rules: letter case folded, code-point order
        const QByteArray bytes = text.toString().toCaseFolded().toUtf8();
        char* at = room(size_t(bytes.size()) + 1);
        std::memcpy(at, bytes.constData(), size_t(bytes.size()) + 1);
        m_next += bytes.size() + 1;
        m_free -= size_t(bytes.size()) + 1;
        return at;
    }
    const auto* units = reinterpret_cast<const UChar*>(text.utf16());
    const auto length = int32_t(text.size());
    // a guess at the size first; the collator says how much it needs
    size_t guess = 16 + size_t(text.size()) * 4;
    char* at = room(guess);
    auto size = size_t(ucol_getSortKey(m_collator, units, length, reinterpret_cast<uint8_t*>(at),
                                       int32_t(m_free)));
    if (size > m_free) {
        at = room(size);
        size = size_t(ucol_getSortKey(m_collator, units, length, reinterpret_cast<uint8_t*>(at),
                                      int32_t(m_free)));
    }
    m_next += size;
    m_free -= size;
    return at;
}
