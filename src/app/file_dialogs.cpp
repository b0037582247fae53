#include "app/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace quorvel {

QString filterSuffix(const QString& qtFilter) {
    const int open = qtFilter.indexOf("(*.");
    if (open < 0) {
        return {};
    }
    const int end = qtFilter.indexOf(QRegularExpression("[ )]"), open + 3);
    return qtFilter.mid(open + 3, end - open - 3);
}

QString qtFileFilter(const char* filter) {
    const QStringList parts = QString::fromUtf8(filter).split('|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
        QString description = parts[i];
        const int paren = description.lastIndexOf(" (");
        if (paren >= 0) {
            description.truncate(paren);
        }
        QString pattern = parts[i + 1];
        pattern.replace(';', ' ');
        if (pattern == "*.*") {
            pattern = "*";
        }
        entries << description + " (" + pattern + ")";
    }
    return entries.join(";;");
}

QString FileDialogs::folderFor(const char* filter) const {
    const auto found = folders_.find(filter);
    return found != folders_.end() ? found->second : QString();
}

void FileDialogs::remember(const char* filter, const QString& path) {
    if (!path.isEmpty()) {
        folders_[filter] = QFileInfo(path).absolutePath();
    }
}

std::string FileDialogs::askOpenFile(const std::string& title, const char* filter) {
    const QString path = QFileDialog::getOpenFileName(parent_, QString::fromStdString(title),
                                                      folderFor(filter), qtFileFilter(filter));
    remember(filter, path);
    return path.toStdString();
}

std::vector<std::string> FileDialogs::askOpenFiles(const std::string& title, const char* filter) {
    std::vector<std::string> paths;
    for (const QString& path : QFileDialog::getOpenFileNames(
             parent_, QString::fromStdString(title), folderFor(filter), qtFileFilter(filter))) {
        paths.push_back(path.toStdString());
        remember(filter, path);
    }
    return paths;
}

std::string FileDialogs::askSaveFile(const std::string& title, const char* filter,
                                     const std::string& proposedName) {
    QFileDialog dialog(parent_, QString::fromStdString(title), folderFor(filter),
                       qtFileFilter(filter));
    dialog.setObjectName("saveDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(QString::fromStdString(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    // A new file's name typed without an extension takes the chosen filter's.
    QString path = dialog.selectedFiles().front();
    const QString suffix = filterSuffix(dialog.selectedNameFilter());
    if (!suffix.isEmpty() && QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path)) {
        path += "." + suffix;
    }
    remember(filter, path);
    return path.toStdString();
}

} // namespace quorvel
