#pragma once
// The compilation as the viewer dialogs show it: a directory tree whose
// nodes carry their directories, and the entries of one directory in order.
#include <vector>

#include "burner/iso/Entries.h"

#include <QStringList>

class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrel::app {

// Empties Tree and fills it: the node "CDROOT" for Root and, below every
// node, one child per subdirectory entry in the directory's entry order.
// Selects the root node and returns it (null when Root is null).
QTreeWidgetItem* FillDirTree(QTreeWidget* Tree, TDEntry* Root);

// The directory a node of FillDirTree stands for.
TDEntry* NodeDir(const QTreeWidgetItem* Item);

// The entries (files and subdirectory entries) of Dir in their order.
std::vector<TFEntry*> DirEntries(const TDEntry* Dir);

// A file's size right-aligned in 9 characters, or " < DIR > ".
QString SizeCell(const TFEntry& Entry);

// Makes Grid show Rows (one QStringList of cells each) below its header;
// with no row, one empty row stays, as the grid never has fewer.
void SetGridRows(QTableWidget* Grid, const std::vector<QStringList>& Rows);

// A grid of the viewer dialogs: fixed-pitch font, whole-row selection,
// resizable columns of the given widths, the given header captions.
void SetUpGrid(QTableWidget* Grid, const QStringList& Header, const std::vector<int>& Widths);

}  // namespace kestrel::app
