#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

#ifndef QUIBBET_VERSION
#error "the build gives the program's version"
#endif

namespace {

// Options QApplication reads itself; declared so that our parser lets them through.
constexpr const char* kToolkitValueOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "display",
                                                "style", "stylesheet", "qwindowgeometry", "geometry",
                                                "qwindowtitle", "qwindowicon", "session", "title"};
constexpr const char* kToolkitFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void Print(std::FILE* stream, const QString& text) { std::fputs(text.toLocal8Bit().constData(), stream); }

}  // namespace

const char* ProgramVersion() { return QUIBBET_VERSION; }

CommandLine ReadCommandLine(int argc, char** argv) {
  QCommandLineParser parser;
  parser.setApplicationDescription("Quibbet demo: a desktop database whose every message box is logged.");
  // "-platform xcb" as Qt takes it, not as the letters -p -l -a …
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help({"h", "help"}, "Shows this help and ends.");
  const QCommandLineOption version({"v", "version"}, "Shows the program's version and ends.");
  const QCommandLineOption dataDir("data-dir", "Keeps the data file and the INI file in <dir> (default: the current directory).",
                                   "dir");
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(dataDir);
  for (const char* name : kToolkitValueOptions) {
    QCommandLineOption option(name, "", "value");
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : kToolkitFlagOptions) {
    QCommandLineOption option(name, "");
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }

  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  CommandLine result;
  if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
    const QString problem = parser.errorText().isEmpty()
                                ? "Unexpected argument '" + parser.positionalArguments().first() + "'."
                                : parser.errorText();
    Print(stderr, "quibbet_demo: " + problem + "\nTry 'quibbet_demo --help'.\n");
    return {false, 2, {}};
  }
  if (parser.isSet(help)) {
    // helpText() names the program after the running application, which does not exist yet.
    QString text = parser.helpText();
    const qsizetype usageEnd = text.indexOf('\n');
    text.replace(0, usageEnd, "Usage: quibbet_demo [options]");
    Print(stdout, text);
    return {false, 0, {}};
  }
  if (parser.isSet(version)) {
    std::printf("quibbet_demo %s\n", ProgramVersion());
    return {false, 0, {}};
  }
  result.dataDir = parser.value(dataDir).toLocal8Bit().toStdString();
  if (parser.isSet(dataDir) && result.dataDir.empty()) {
    Print(stderr, "quibbet_demo: --data-dir needs a folder.\n");
    return {false, 2, {}};
  }
  return result;
}
