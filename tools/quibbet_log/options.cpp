#include "tools/quibbet_log/options.h"

#include <getopt.h>

#include <cwctype>

#include "tools/quibbet_log/moments.h"

namespace quibbet_log {

namespace {

unsigned Bit(msglog::EntryKind kind) { return 1u << static_cast<unsigned>(kind); }

bool ParseKinds(std::string_view list, unsigned& kinds) {
  kinds = 0;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const std::string word = Folded(list.substr(0, comma));
    if (word == "message") kinds |= Bit(msglog::EntryKind::Message);
    else if (word == "stop") kinds |= Bit(msglog::EntryKind::Stop);
    else if (word == "declined") kinds |= Bit(msglog::EntryKind::DeclinedStop);
    else return false;
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
  return kinds != 0;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool EqualFolded(std::string_view value, const std::optional<std::string>& wanted) {
  return !wanted || Folded(Trimmed(value)) == *wanted;
}

bool ContainsFolded(std::string_view value, const std::optional<std::string>& wanted) {
  return !wanted || Folded(value).find(*wanted) != std::string::npos;
}

enum LongOnly : int { kFormat = 256, kSince, kUntil, kKind, kPressed, kSummary, kCheck, kVersion, kWindow, kComputer };

constexpr option kLongOptions[] = {
    {"user", required_argument, nullptr, 'u'},      {"computer", required_argument, nullptr, kComputer},
    {"since", required_argument, nullptr, kSince},  {"until", required_argument, nullptr, kUntil},
    {"window", required_argument, nullptr, kWindow}, {"text", required_argument, nullptr, 't'},
    {"kind", required_argument, nullptr, kKind},    {"pressed", required_argument, nullptr, kPressed},
    {"format", required_argument, nullptr, kFormat}, {"follow", no_argument, nullptr, 'f'},
    {"summary", no_argument, nullptr, kSummary},    {"check", no_argument, nullptr, kCheck},
    {"help", no_argument, nullptr, 'h'},            {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

std::string Folded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      ++i;
      continue;
    }
    // Two- and three-byte sequences (the scripts case applies to); anything else as it is.
    const int length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 0;
    bool valid = length > 0 && i + length <= text.size();
    wchar_t code = length == 2 ? (c & 0x1F) : (c & 0x0F);
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = static_cast<wchar_t>((code << 6) | (next & 0x3F));
    }
    if (!valid || code < 0x80 || (length == 3 && code < 0x800)) {
      out += text[i++];
      continue;
    }
    const auto lower = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(code)));
    if (lower < 0x800) {
      out += static_cast<char>(0xC0 | (lower >> 6));
      out += static_cast<char>(0x80 | (lower & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (lower >> 12));
      out += static_cast<char>(0x80 | ((lower >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (lower & 0x3F));
    }
    i += static_cast<std::size_t>(length);
  }
  return out;
}

bool Options::Accepts(const msglog::EntryView& entry) const {
  if (entry.kind == msglog::EntryKind::Damaged || !(kinds & Bit(entry.kind))) return false;
  const std::int64_t key = entry.moment.Key();
  if ((since && key < *since) || (until && key > *until)) return false;
  return EqualFolded(entry.user, user) && EqualFolded(entry.computer, computer) &&
         EqualFolded(entry.pressedButton, pressed) && ContainsFolded(entry.windowTitle, window) &&
         ContainsFolded(entry.text, text);
}

int ParseOptions(int argc, char** argv, std::time_t now, Options& options, std::string& error) {
  options = Options{};
  optind = 0;  // glibc: start afresh
  opterr = 0;
  auto bad = [&](std::string text) {
    error = std::move(text);
    return kExitUsage;
  };
  auto moment = [&](bool end, std::optional<std::int64_t>& bound) {
    msglog::LogMoment value;
    if (!ParseUserMoment(optarg, end, now, value)) return false;
    bound = value.Key();
    return true;
  };
  for (int option; (option = getopt_long(argc, argv, ":u:t:fh", kLongOptions, nullptr)) != -1;) {
    switch (option) {
      case 'u': options.user = Folded(Trimmed(optarg)); break;
      case kComputer: options.computer = Folded(Trimmed(optarg)); break;
      case kPressed: options.pressed = Folded(Trimmed(optarg)); break;
      case kWindow: options.window = Folded(optarg); break;
      case 't': options.text = Folded(optarg); break;
      case kSince:
        if (!moment(false, options.since))
          return bad(std::string("--since: \"") + optarg + "\" is not a date (try 2026-12-06 or \"2026-12-06 09:30\")");
        break;
      case kUntil:
        if (!moment(true, options.until))
          return bad(std::string("--until: \"") + optarg + "\" is not a date (try 2026-12-06 or \"2026-12-06 17:00\")");
        break;
      case kKind:
        if (!ParseKinds(optarg, options.kinds))
          return bad(std::string("--kind: \"") + optarg + "\" is not message, stop or declined");
        break;
      case kFormat: {
        const std::string format = Folded(optarg);
        if (format == "text") options.format = Format::Text;
        else if (format == "csv") options.format = Format::Csv;
        else if (format == "json") options.format = Format::Json;
        else return bad(std::string("--format: \"") + optarg + "\" is not text, csv or json");
        break;
      }
      case 'f': options.follow = true; break;
      case kSummary: options.mode = Mode::Summary; break;
      case kCheck: options.mode = Mode::Check; break;
      case 'h': options.mode = Mode::Help; return kExitOk;
      case kVersion: options.mode = Mode::Version; return kExitOk;
      case ':': return bad(std::string(argv[optind - 1]) + " needs a value");
      default: return bad(std::string("unknown option ") + argv[optind - 1]);
    }
  }
  if (optind < argc) options.file = argv[optind++];
  if (optind < argc) return bad(std::string("one log file only; \"") + argv[optind] + "\" is one too many");
  if (options.follow && options.mode != Mode::List) return bad("--follow lists entries; it goes with neither --summary nor --check");
  if (options.since && options.until && *options.since > *options.until) return bad("--since is after --until");
  return kExitOk;
}

std::string UsageText() {
  return R"(Usage: quibbet_log [OPTION]... [FILE]
Reads the message log: every message box and stop dialog the program showed and how it was
answered. FILE is the log; without it, Quibbet_.txt beside this program.

Filters (an entry must pass all of them; text comparisons ignore case):
  -u, --user NAME        entries of this user
      --computer NAME    entries from this computer
      --since MOMENT     entries at or after MOMENT
      --until MOMENT     entries at or before MOMENT (a date alone: to the end of that day)
      --window TEXT      entries over a window whose title contains TEXT
  -t, --text TEXT        entries whose message or stop text contains TEXT
      --kind KINDS       message, stop or declined (a declined stop), or several: stop,declined
      --pressed BUTTON   messages answered with this button (OK, YES, NO, a caption...)
  MOMENT is a date and maybe a time as you would type it: 2026-12-06, 2026-12-06T09:30,
  "2026-12-06 09:30:15", 2026-12-06T09:30+01:00, "Dec 6, 2026", 12/06/2026, 06.12.2026,
  today, "yesterday 17:00".

Output:
      --format FORMAT    text (the entries as they stand, the default), csv (a header row and
                         one row per entry) or json (one JSON object per line)
  -f, --follow           after the last entry, wait for new ones and print them as they come
                         (also when the file is replaced); Ctrl+C ends
      --summary          count the entries per user and per day instead of listing them
      --check            list the damaged entries with their line numbers

  -h, --help             this text
      --version          the version

Damaged stretches of the file (cut short, stray lines, missing fields) are left out of the
listing and counted on standard error; --check lists them.

Exit status: 0 done; 1 --check found damaged entries; 2 a bad option, value or date;
3 no log file; 4 the log cannot be read; 5 the output cannot be written.
)";
}

}  // namespace quibbet_log
