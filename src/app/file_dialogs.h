#pragma once

#include <QString>

#include <map>
#include <string>
#include <vector>

class QWidget;

namespace quorvel {

// Turns a filter of the "Description|pattern|...||" form into Qt's "Description (pattern);;"
// form. "*.*" stands for every file, as on the platform the filters come from.
QString qtFileFilter(const char* filter);

// The extension of a Qt filter's first pattern ("nnet" of "Nnet Files (*.nnet)"); empty for "*".
QString filterSuffix(const QString& qtFilter);

// The platform's open and save dialogs: the path chosen, or empty when cancelled. The save
// dialog proposes a name, does not ask before replacing a file, and gives a new name typed
// without an extension the one of the filter chosen. Each kind of file (each filter) opens in
// the folder where the last dialog of its kind was left, for as long as the program runs.
class FileDialogs {
  public:
    explicit FileDialogs(QWidget* parent) : parent_(parent) {}

    std::string askOpenFile(const std::string& title, const char* filter);
    std::vector<std::string> askOpenFiles(const std::string& title, const char* filter);
    std::string askSaveFile(const std::string& title, const char* filter,
                            const std::string& proposedName);
    // Where the next dialog with this filter opens (empty: the current folder).
    QString folderFor(const char* filter) const;

  private:
    void remember(const char* filter, const QString& path);

    QWidget* parent_;
    std::map<std::string, QString> folders_;
};

} // namespace quorvel
