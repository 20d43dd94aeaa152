// SPDX-License-Identifier: GPL-3.0-or-later
// Append-only storage for the texts of many rows: each text is copied once
// into large blocks and handed back as a view that stays valid until
// Clear. A scan of a large mailbox keeps tens of megabytes of cells; in
// blocks instead of one heap allocation per cell they cost no allocator
// overhead, and blocks of 2 MiB and more are offered to the kernel for
// huge pages, which spares a page fault per 4 KiB of text (dear on
// virtual machines). Small stores stay in small blocks.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

class CTextStore {
public:
    CTextStore() = default;
    ~CTextStore();
    CTextStore(const CTextStore &) = delete;
    CTextStore &operator=(const CTextStore &) = delete;

    // A copy of the text, valid until Clear or the store's end.
    std::string_view Keep(std::string_view text);
    // Room for count values of T, uninitialised, aligned for T.
    template <typename T> T *Room(size_t count) {
        return static_cast<T *>(Take(count * sizeof(T), alignof(T)));
    }
    // Forgets every text and gives the blocks back.
    void Clear();

private:
    struct Block {
        char *data;
        size_t size;
        bool mapped;  // by mmap, else by new[]
    };
    void *Take(size_t size, size_t align);
    void NewBlock(size_t atLeast);

    std::vector<Block> m_blocks;
    char *m_next = nullptr;  // free room in the last block
    size_t m_left = 0;
    size_t m_reserved = 0;  // in all blocks: the next block is as large
};
