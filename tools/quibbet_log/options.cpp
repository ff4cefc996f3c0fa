#include "tools/quibbet_log/options.h"

#include <getopt.h>

#include "msglog/log_moments.h"

namespace quibbet_log {

namespace {

bool ParseKinds(std::string_view list, unsigned& kinds) {
  kinds = 0;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const std::string word = msglog::FoldCase(list.substr(0, comma));
    if (word == "message") kinds |= msglog::KindBit(msglog::EntryKind::Message);
    else if (word == "stop") kinds |= msglog::KindBit(msglog::EntryKind::Stop);
    else if (word == "declined") kinds |= msglog::KindBit(msglog::EntryKind::DeclinedStop);
    else return false;
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
  return kinds != 0;
}

enum LongOnly : int { kFormat = 256, kSince, kUntil, kKind, kPressed, kSummary, kCheck, kVersion, kWindow, kComputer, kServer };

constexpr option kLongOptions[] = {
    {"user", required_argument, nullptr, 'u'},      {"computer", required_argument, nullptr, kComputer},
    {"since", required_argument, nullptr, kSince},  {"until", required_argument, nullptr, kUntil},
    {"window", required_argument, nullptr, kWindow}, {"text", required_argument, nullptr, 't'},
    {"kind", required_argument, nullptr, kKind},    {"pressed", required_argument, nullptr, kPressed},
    {"format", required_argument, nullptr, kFormat}, {"follow", no_argument, nullptr, 'f'},
    {"summary", no_argument, nullptr, kSummary},    {"check", no_argument, nullptr, kCheck},
    {"help", no_argument, nullptr, 'h'},            {"version", no_argument, nullptr, kVersion},
    {"server", required_argument, nullptr, kServer},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

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
      case 'u': options.filter.SetUser(optarg); break;
      case kComputer: options.filter.SetComputer(optarg); break;
      case kPressed: options.filter.SetPressed(optarg); break;
      case kWindow: options.filter.SetWindow(optarg); break;
      case 't': options.filter.SetText(optarg); break;
      case kSince:
        if (!moment(false, options.filter.since))
          return bad(std::string("--since: \"") + optarg + "\" is not a date (try 2026-12-06 or \"2026-12-06 09:30\")");
        break;
      case kUntil:
        if (!moment(true, options.filter.until))
          return bad(std::string("--until: \"") + optarg + "\" is not a date (try 2026-12-06 or \"2026-12-06 17:00\")");
        break;
      case kKind:
        if (!ParseKinds(optarg, options.filter.kinds))
          return bad(std::string("--kind: \"") + optarg + "\" is not message, stop or declined");
        break;
      case kFormat: {
        const std::string format = msglog::FoldCase(optarg);
        if (format == "text") options.format = Format::Text;
        else if (format == "csv") options.format = Format::Csv;
        else if (format == "json") options.format = Format::Json;
        else return bad(std::string("--format: \"") + optarg + "\" is not text, csv or json");
        break;
      }
      case kServer: options.server = optarg; break;
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
  if (!options.server.empty()) {
    if (!options.file.empty()) return bad("--server reads the log server's table; a FILE goes without it");
    if (options.follow) return bad("--follow reads a file; it does not go with --server");
    if (options.mode == Mode::Check) return bad("--check reads a file; it does not go with --server");
  }
  if (options.follow && options.mode != Mode::List) return bad("--follow lists entries; it goes with neither --summary nor --check");
  if (options.filter.since && options.filter.until && *options.filter.since > *options.filter.until) return bad("--since is after --until");
  return kExitOk;
}

std::string UsageText() {
  return R"(Usage: quibbet_log [OPTION]... [FILE]
       quibbet_log --server CONNINFO [OPTION]...
Reads the message log: every message box and stop dialog the program showed and how it was
answered. FILE is the log; without it, Quibbet_.txt beside this program. With --server, the
central copy: the message_log table on the log server that CONNINFO names (a PostgreSQL
connection string such as "host=db.example dbname=office user=auditor"; give the password
through ~/.pgpass rather than on the command line). There, an entry's line is its row's number
of arrival and its offset 0.

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
3 no log file; 4 the log cannot be read; 5 the output cannot be written; 6 the log server
cannot be reached or read.
)";
}

}  // namespace quibbet_log
