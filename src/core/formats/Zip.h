#pragma once

#include <QString>
#include <QStringList>

namespace bm {

class ProgressSink;

// Packs the files of FileList into a new ZIP archive at PathAndFile, in list order, each entry
// named by the file's bare name. Entries are deflated at the normal level, or stored when
// deflate would make them larger. Paths where no file exists are skipped, and of several files
// with one bare name the first is packed. The archive is built beside the target under a
// temporary name and then replaces an existing file there, so an error leaves that file as it
// was. Returns the number of entries; with none, no archive is written and nothing is replaced.
int ZipFileList(const QString &PathAndFile, const QStringList &FileList, ProgressSink &progress);

} // namespace bm
