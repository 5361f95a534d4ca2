// The source of generated cases and injected faults in the tests and the
// fuzz targets: splitmix64, small, fast and the same on every machine, so
// that a seed repeats its cases everywhere.
#ifndef TABJD_TESTS_RANDOM_H
#define TABJD_TESTS_RANDOM_H

#include <cstddef>
#include <cstdint>

namespace testing_support {

// The share of the generated cases that runs: fewer under the sanitizers
// and under an emulator, which are many times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr std::size_t share = 8;
#elif defined(TABJD_EMULATOR)
inline constexpr std::size_t share = 4;
#else
inline constexpr std::size_t share = 1;
#endif

// splitmix64 (Steele, Lea and Flood, "Fast splittable pseudorandom number
// generators", 2014; the constants of Vigna's splitmix64.c).
struct generator {
    std::uint64_t state;
    std::uint64_t next() noexcept {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }
    // In [0, n), of n's type.
    template <typename T> T below(T n) noexcept {
        return static_cast<T>(next() % static_cast<std::uint64_t>(n));
    }
    // In [low, high].
    long within(long low, long high) noexcept {
        return low + static_cast<long>(below(static_cast<std::uint64_t>(high - low) + 1));
    }
    char digit() noexcept { return static_cast<char>('0' + below(10)); }
    // True percent times in a hundred.
    bool chance(std::size_t percent) noexcept { return below(std::size_t{100}) < percent; }
    template <typename T, std::size_t n> const T& pick(const T (&from)[n]) noexcept {
        return from[below(n)];
    }
};

} // namespace testing_support

#endif
