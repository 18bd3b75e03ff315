#include "sim/SimOptions.h"

#include <charconv>
#include <limits>

namespace zemrik {

namespace {

// Decimal, or hexadecimal with a 0x prefix (or always hexadecimal when `hex`).
std::optional<std::uint64_t> ParseNumber(const std::string& text, bool hex, std::uint64_t max) {
    std::string_view digits = text;
    int base = hex ? 16 : 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (ec != std::errc{} || end != digits.data() + digits.size() || value > max) return std::nullopt;
    return value;
}

}  // namespace

std::optional<SimOptions> ParseSimOptions(const std::vector<std::string>& args, std::string& error) {
    SimOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = flag + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](std::uint64_t max, bool hex = false) -> std::optional<std::uint64_t> {
            std::string text;
            if (!value(text)) return std::nullopt;
            auto parsed = ParseNumber(text, hex, max);
            if (!parsed) error = flag + ": bad value '" + text + "' (0 to " + std::to_string(max) + ")";
            return parsed;
        };
        constexpr std::uint64_t maxMs = 24 * 3600 * 1000;

        if (flag == "--help" || flag == "-h") {
            options.help = true;
        } else if (flag == "--records") {
            if (!value(options.recordsPath)) return std::nullopt;
        } else if (flag == "--cables") {
            if (!value(options.cablesPath)) return std::nullopt;
        } else if (flag == "--save-records") {
            if (!value(options.saveRecordsPath)) return std::nullopt;
        } else if (flag == "--save-cables") {
            if (!value(options.saveCablesPath)) return std::nullopt;
        } else if (flag == "--link") {
            if (!value(options.linkPath)) return std::nullopt;
        } else if (flag == "--capacity") {
            auto n = number(InstrumentEmulator::MaxRecords);
            if (!n) return std::nullopt;
            options.capacity = static_cast<int>(*n);
        } else if (flag == "--no-handshake") {
            options.faults.noHandshake = true;
        } else if (flag == "--handshake-byte") {
            auto n = number(0xFF, true);
            if (!n) return std::nullopt;
            options.faults.handshakeByte = static_cast<std::uint8_t>(*n);
        } else if (flag == "--handshake-delay") {
            auto n = number(maxMs);
            if (!n) return std::nullopt;
            options.faults.handshakeDelayMs = static_cast<std::uint32_t>(*n);
        } else if (flag == "--bad-checksum") {
            options.faults.badChecksum = true;
        } else if (flag == "--status") {
            auto n = number(0xFF);
            if (!n) return std::nullopt;
            options.faults.status = static_cast<std::uint8_t>(*n);
        } else if (flag == "--no-further-byte") {
            options.faults.noFurtherByte = true;
        } else if (flag == "--refuse-writes") {
            auto n = number(0xFF);
            if (!n) return std::nullopt;
            options.faults.refuseWrites = static_cast<std::uint8_t>(*n);
        } else if (flag == "--stop-after") {
            auto n = number(std::numeric_limits<std::uint32_t>::max());
            if (!n) return std::nullopt;
            options.faults.stopAfter = static_cast<std::size_t>(*n);
        } else if (flag == "--delay") {
            auto n = number(maxMs);
            if (!n) return std::nullopt;
            options.faults.delayMs = static_cast<std::uint32_t>(*n);
        } else if (flag == "--pace-baud") {
            auto n = number(10'000'000);
            if (!n) return std::nullopt;
            options.paceBaud = static_cast<std::uint32_t>(*n);
        } else if (flag == "--no-stdin") {
            options.noStdin = true;
        } else if (flag == "--trace") {
            options.trace = true;
        } else {
            error = "unknown argument '" + flag + "'";
            return std::nullopt;
        }
    }
    return options;
}

std::string SimUsage() {
    return R"(usage: zemrik-sim [options]
An emulated instrument on a pseudo-terminal. Prints the terminal's path as its first line, then
answers the instrument protocol until SIGINT/SIGTERM or until its stdin ends.

Memory:
  --records FILE.zmk       start with the records of a measurement file
  --cables FILE.cbl        start with the cable table of a cable table file
  --save-records FILE.zmk  write the records it holds to a measurement file at exit
  --save-cables FILE.cbl   write the cable table it holds to a cable table file at exit
  --capacity N             records it has room for, 0 to 200 (default 200)

Faults:
  --no-handshake           never answer the handshake
  --handshake-byte HEX     answer the handshake with this byte instead of A5
  --handshake-delay MS     wait before answering the handshake
  --bad-checksum           read replies carry a wrong checksum
  --status N               every read answers status N (non-zero) and nothing more
  --no-further-byte        omit the byte after a write or delete result
  --refuse-writes N        answer record and cable writes with N, store nothing
  --stop-after K           send only the first K bytes of every command reply
  --delay MS               wait before every command reply

Line:
  --pace-baud N            send no faster than a line of N bit/s (10 bits a byte)
  --link PATH              also make PATH a symlink to the terminal (removed at exit)
  --no-stdin               do not watch stdin (for running in the background)
  --trace                  print every byte in and out as hex on stderr
  --help                   this text
)";
}

}  // namespace zemrik
