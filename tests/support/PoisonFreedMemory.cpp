// Linked into a test program, this fills every block the program's operator delete frees with a
// pattern before freeing it, as a debugging heap does: a reference to an object that was destroyed
// and freed then reads the pattern (pointers that lead nowhere) instead of the object's old
// contents, and the test crashes rather than passing by chance.
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr unsigned char kFreed = 0xDD;
// Called through a volatile pointer: a fill right before free is otherwise optimised away.
void* (*volatile fill)(void*, int, std::size_t) = std::memset;

void* Allocate(std::size_t size) {
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

void Free(void* block) noexcept {
    if (!block) return;
    fill(block, kFreed, _msize(block));
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }
