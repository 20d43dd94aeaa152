// SPDX-License-Identifier: GPL-3.0-or-later
#include "CTextStore.h"

#include <cstdint>
#include <cstring>

#if defined(__unix__)
#include <sys/mman.h>
#endif

namespace {
constexpr size_t kFirstBlock = 64 * 1024;
constexpr size_t kHugePage = 2 * 1024 * 1024;
constexpr size_t kLargestBlock = 8 * kHugePage;
}  // namespace

CTextStore::~CTextStore() { Clear(); }

void CTextStore::Clear() {
    for (const Block &block : m_blocks) {
#if defined(__unix__)
        if (block.mapped) {
            ::munmap(block.data, block.size);
            continue;
        }
#endif
        delete[] block.data;
    }
    m_blocks.clear();
    m_next = nullptr;
    m_left = 0;
    m_reserved = 0;
}

void CTextStore::NewBlock(size_t atLeast) {
    // Each block as large as all before it: few blocks, and a small store
    // stays small.
    size_t size = m_reserved < kFirstBlock ? kFirstBlock : m_reserved;
    if (size > kLargestBlock) size = kLargestBlock;
    if (size < atLeast) size = atLeast;
    Block block{nullptr, size, false};
#if defined(__unix__)
    if (size >= kHugePage) {
        // Whole huge pages, on a huge page's boundary, so that the kernel
        // can back them with huge pages where it offers them.
        size = (size + kHugePage - 1) / kHugePage * kHugePage;
        void *raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw != MAP_FAILED) {
            char *start = static_cast<char *>(raw);
            const size_t skip = (kHugePage - reinterpret_cast<uintptr_t>(start) % kHugePage) % kHugePage;
            if (skip > 0) ::munmap(start, skip);
            if (kHugePage - skip > 0) ::munmap(start + skip + size, kHugePage - skip);
#ifdef MADV_HUGEPAGE
            ::madvise(start + skip, size, MADV_HUGEPAGE);  // advice only: fine where refused
#endif
            block = Block{start + skip, size, true};
        }
    }
#endif
    if (block.data == nullptr) block = Block{new char[size], size, false};
    m_blocks.push_back(block);
    m_next = block.data;
    m_left = block.size;
    m_reserved += block.size;
}

void *CTextStore::Take(size_t size, size_t align) {
    size_t pad = (align - reinterpret_cast<uintptr_t>(m_next) % align) % align;
    if (m_next == nullptr || pad + size > m_left) {
        NewBlock(size + align);
        pad = (align - reinterpret_cast<uintptr_t>(m_next) % align) % align;
    }
    char *at = m_next + pad;
    m_next = at + size;
    m_left -= pad + size;
    return at;
}

std::string_view CTextStore::Keep(std::string_view text) {
    if (text.empty()) return {};
    char *at = static_cast<char *>(Take(text.size(), 1));
    std::memcpy(at, text.data(), text.size());
    return {at, text.size()};
}
