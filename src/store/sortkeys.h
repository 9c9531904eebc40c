#pragma once

#include <QStringView>

#include <memory>
#include <vector>

struct UCollator;

// Keys that put texts in Japanese order, ignoring letter case and reading
// numbers as numbers, exactly as japaneseCollator() compares them: two keys
// compare with strcmp. They are made straight into large blocks, without an
// object per key, so that sorting the titles of every song of a large
// collection needs little more memory than the keys' bytes.
class SortKeyMaker {
public:
    SortKeyMaker(); // a collator of its own: one maker per thread
    ~SortKeyMaker();
    SortKeyMaker(const SortKeyMaker&) = delete;
    SortKeyMaker& operator=(const SortKeyMaker&) = delete;

    // The key stays valid as long as the maker.
    const char* key(QStringView text);

private:
    char* room(size_t bytes);
    UCollator* m_collator = nullptr;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;
    size_t m_free = 0;
};
