#pragma once
// Shared pieces of the fuzz harnesses: the entry point, a check that stops
// the run with a message, and a reader that cuts one input into fields.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// An invariant broke: say which and stop, so the fuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                 \
    do {                                                                                 \
        if (!(cond)) {                                                                   \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                \
        }                                                                                \
    } while (0)

namespace fuzz {

// Hands out an input piece by piece: small numbers from single bytes and
// texts up to the next separator byte (0xFF 0x00, rare in real text).
class Fields {
public:
    Fields(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    bool empty() const { return rest_.empty(); }

    std::uint8_t byte()
    {
        if (rest_.empty())
            return 0;
        const auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }

    int number()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return int(v);
    }

    std::string text()
    {
        static constexpr std::string_view separator("\xFF\x00", 2);
        const std::size_t at = rest_.find(separator);
        std::string out(rest_.substr(0, at));
        rest_.remove_prefix(at == std::string_view::npos ? rest_.size() : at + separator.size());
        return out;
    }

    std::string_view remainder() const { return rest_; }

private:
    std::string_view rest_;
};

}  // namespace fuzz
