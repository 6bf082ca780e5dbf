// Compiler-specific attributes of the library's hot loops, with a portable
// spelling for each compiler the library is built with (GCC and Clang on Linux
// and MinGW-w64, MSVC) and an empty fallback elsewhere. Internal: not
// installed, never included by an installed header.
#pragma once

// Not inlined: keeps a rarely taken path out of its caller's hot loop.
#if defined(_MSC_VER) && !defined(__clang__)
#define KEX_NOINLINE __declspec(noinline)
#elif defined(__GNUC__) || defined(__clang__)
#define KEX_NOINLINE __attribute__((noinline))
#else
#define KEX_NOINLINE
#endif

// Always inlined (implies inline): a kernel body expanded into each caller,
// so that every caller vectorises it for its own constants.
#if defined(_MSC_VER) && !defined(__clang__)
#define KEX_ALWAYS_INLINE __forceinline
#elif defined(__GNUC__) || defined(__clang__)
#define KEX_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define KEX_ALWAYS_INLINE inline
#endif

// A pointer through which no other pointer of the function reaches the same
// memory.
#if defined(_MSC_VER) || defined(__GNUC__) || defined(__clang__)
#define KEX_RESTRICT __restrict
#else
#define KEX_RESTRICT
#endif

// KEX_VECTOR_KERNEL: a function built for any x86-64 and again for AVX2, the
// dynamic loader picking the build the processor runs (an ifunc). Both builds
// do the same arithmetic in the same order, so they give the same results.
// Only where the loader supports it: ELF on x86-64 Linux with GCC or Clang.
// PE/COFF (Windows, MinGW-w64 included) has no ifunc, and MSVC has no such
// attribute; there the function is built once for the target's baseline.
// Sanitizer builds keep the one build too: the loader runs the choosing code
// before a sanitizer's runtime is ready for instrumented code.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KEX_SANITIZED_BUILD 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#ifndef KEX_SANITIZED_BUILD
#define KEX_SANITIZED_BUILD 1
#endif
#endif
#endif

#if defined(__x86_64__) && defined(__gnu_linux__) && !defined(_WIN32) && defined(__has_attribute) && \
    !defined(KEX_SANITIZED_BUILD)
#if __has_attribute(target_clones)
#define KEX_VECTOR_KERNEL __attribute__((target_clones("avx2", "default")))
#endif
#endif
#ifndef KEX_VECTOR_KERNEL
#define KEX_VECTOR_KERNEL
#endif
