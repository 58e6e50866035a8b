// The folder import's scan without the window, for timing against find(1):
//   folder_import FOLDER EXTENSION
// Prints the number of files listed. With --list, prints them too.
#include <QCoreApplication>
#include <cstdio>

#include "window/folder_scan.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: folder_import FOLDER EXTENSION [--list]\n");
    return 2;
  }
  const bool list = args.size() > 3 && args[3] == QLatin1String("--list");
  lintavel::ScanContext context;
  context.report = [](const lintavel::ApplicationError& error) {
    std::fprintf(stderr, "%s at line %d\n", error.description.c_str(), error.line);
  };
  QStringList folders = {args[1] + QLatin1Char('/')};
  lintavel::GetSubDirectories2016(folders, true, context);
  long long count = 0;
  lintavel::ListFilesOfFolders(folders, QStringLiteral("*.") + args[2], context,
                               [&](const QString& row) {
                                 ++count;
                                 if (list) std::printf("%s\n", qPrintable(row));
                               });
  std::fprintf(stderr, "%lld files\n", count);
  return 0;
}
