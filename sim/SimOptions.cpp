#include "sim/SimOptions.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <limits>
#include <sstream>

#include "zemrik/Version.h"

namespace zemrik {

namespace {

constexpr std::uint32_t MaxMs = 24 * 3600 * 1000;

// One byte in hexadecimal, with or without 0x: "A5", "0x5a".
std::optional<std::uint8_t> HexByte(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

// A byte-sized number option (0 to 255) stored into `target`.
template <typename Target>
void ByteOption(CLI::App& app, const std::string& name, Target& target, const std::string& what) {
    app.add_option_function<unsigned>(
           name, [&target](unsigned value) { target = static_cast<std::uint8_t>(value); }, what)
        ->check(CLI::Range(0u, 255u).description(""))
        ->type_name("N");
}

}  // namespace

SimParse ParseSimOptions(const std::vector<std::string>& args) {
    SimOptions o;
    CLI::App app{
        "An emulated instrument on a pseudo-terminal. Prints the terminal's path as its first line, then\n"
        "answers the instrument protocol until SIGINT/SIGTERM/SIGHUP or until its stdin ends. Lines on\n"
        "stdin change its memory as the instrument's keys would: 'delete N', 'add FILE.zmk'.",
        "zemrik-sim"};
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return "zemrik-sim: " + std::string(e.what()) + "\nRun with --help for more information.\n";
    });
    app.set_version_flag("--version", "zemrik-sim " + std::string(Version), "print the version and exit");

    // A test or script may add to a command line that already names a flag: the last one wins.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.option_defaults()->group("Memory");
    app.add_option("--records", o.recordsPath, "start with the records of a measurement file")
        ->type_name("FILE.zmk");
    app.add_option("--cables", o.cablesPath, "start with the cable table of a cable table file")
        ->type_name("FILE.cbl");
    app.add_option("--save-records", o.saveRecordsPath, "at exit, write the records it holds")
        ->type_name("FILE.zmk");
    app.add_option("--save-cables", o.saveCablesPath, "at exit, write the cable table it holds")
        ->type_name("FILE.cbl");
    app.add_option("--capacity", o.capacity, "records it has room for, 0 to 200 (default 200)")
        ->check(CLI::Range(0, InstrumentEmulator::MaxRecords).description(""))
        ->type_name("N");

    app.option_defaults()->group("Faults");
    app.add_flag("--no-handshake", o.faults.noHandshake, "never answer the handshake");
    app.add_option_function<std::string>(
           "--handshake-byte", [&o](const std::string& text) { o.faults.handshakeByte = *HexByte(text); },
           "answer the handshake with this byte instead of A5")
        ->check(CLI::Validator(
            [](const std::string& text) { return HexByte(text) ? std::string() : "wants one byte in hex"; },
            "", "HEX"))
        ->type_name("HEX");
    app.add_option("--handshake-delay", o.faults.handshakeDelayMs, "wait before answering the handshake")
        ->check(CLI::Range(0u, MaxMs).description(""))
        ->type_name("MS");
    app.add_flag("--bad-checksum", o.faults.badChecksum, "read replies carry a wrong checksum");
    ByteOption(app, "--status", o.faults.status, "every read answers status N and nothing more");
    app.add_flag("--no-further-byte", o.faults.noFurtherByte, "omit the byte after a write or delete result");
    ByteOption(app, "--refuse-writes", o.faults.refuseWrites,
               "answer record and cable writes with N, store nothing");
    app.add_option_function<std::uint32_t>(
           "--stop-after", [&o](std::uint32_t k) { o.faults.stopAfter = k; },
           "send only the first K bytes of every command reply")
        ->type_name("K");
    app.add_option("--delay", o.faults.delayMs, "wait before every command reply")
        ->check(CLI::Range(0u, MaxMs).description(""))
        ->type_name("MS");

    app.option_defaults()->group("Line");
    app.add_option("--pace-baud", o.paceBaud, "send no faster than a line of N bit/s (10 bits a byte)")
        ->check(CLI::Range(0u, 10'000'000u).description(""))
        ->type_name("N");
    app.add_option("--link", o.linkPath, "also make PATH a symlink to the terminal (removed at exit)")
        ->type_name("PATH");
    app.add_flag("--no-stdin", o.noStdin, "do not watch stdin (for running in the background)");
    app.add_flag("--trace", o.trace, "print every byte in and out as hex on stderr");

    SimParse result;
    try {
        // CLI11 takes the words last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        std::ostringstream out;
        std::ostringstream err;
        result.exitCode = app.exit(e, out, err) == 0 ? 0 : 2;
        result.out = out.str();
        result.err = err.str();
        return result;
    }
    result.options = o;
    return result;
}

}  // namespace zemrik
