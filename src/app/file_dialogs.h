#pragma once

#include <QString>

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
// without an extension the one of the filter chosen.
std::string askOpenFile(QWidget* parent, const std::string& title, const char* filter);
std::vector<std::string> askOpenFiles(QWidget* parent, const std::string& title,
                                      const char* filter);
std::string askSaveFile(QWidget* parent, const std::string& title, const char* filter,
                        const std::string& proposedName);

} // namespace quorvel
