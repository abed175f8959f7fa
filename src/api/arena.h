// Bump allocation in a chain of blocks, released whole: for tables whose
// records own many small pieces, so that building takes a few allocations
// instead of one per piece and releasing takes a few frees.
#ifndef MVFILES_API_ARENA_H
#define MVFILES_API_ARENA_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

struct mvfiles_arena_block {
    mvfiles_arena_block *next;
    size_t used, cap;  // bytes of the data that follows the header
};
static_assert(sizeof(mvfiles_arena_block) % alignof(void *) == 0, "arena data stays aligned");

struct mvfiles_arena {
    mvfiles_arena_block *head = nullptr;
    size_t next_cap = 4096;

    // n bytes aligned for pointers, or NULL when memory ran out.
    void *take(size_t n) noexcept {
        const size_t align = alignof(void *);
        if (n > SIZE_MAX - align) return nullptr;
        n = (n + align - 1) & ~(align - 1);
        if (!head || head->cap - head->used < n) {
            size_t cap = n > next_cap ? n : next_cap;
            if (cap > SIZE_MAX - sizeof(mvfiles_arena_block)) return nullptr;
            auto *b = static_cast<mvfiles_arena_block *>(std::malloc(sizeof(mvfiles_arena_block) + cap));
            if (!b) return nullptr;
            b->next = head;
            b->used = 0;
            b->cap = cap;
            head = b;
            if (next_cap < (size_t{1} << 20)) next_cap *= 2;
        }
        void *p = reinterpret_cast<char *>(head + 1) + head->used;
        head->used += n;
        return p;
    }

    // A NUL-terminated copy of n bytes, or NULL when memory ran out.
    char *copy(const char *s, size_t n) noexcept {
        if (n == SIZE_MAX) return nullptr;
        auto *p = static_cast<char *>(take(n + 1));
        if (!p) return nullptr;
        if (n) std::memcpy(p, s, n);
        p[n] = 0;
        return p;
    }
};

// Frees a chain of blocks (an arena's head); NULL does nothing.
inline void mvfiles_arena_free(void *chain) noexcept {
    for (auto *b = static_cast<mvfiles_arena_block *>(chain); b;) {
        mvfiles_arena_block *next = b->next;
        std::free(b);
        b = next;
    }
}

#endif
