#pragma once
// The compilation: the tree of directories and files that becomes the
// ISO 9660 / Joliet file system of one image, with the tables that own its
// records. Filled by InsertFile/InsertDir, pruned by the removal operations,
// laid out by TImageBuilder.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "burner/common/DebugLog.h"
#include "burner/iso/Entries.h"

namespace kestrel {

class TCompilation : public virtual TDebugLog {
public:
    TCompilation();
    ~TCompilation() override;
    TCompilation(const TCompilation&) = delete;
    TCompilation& operator=(const TCompilation&) = delete;

    // Empties the compilation and re-creates the tables with the given
    // capacities. Always true.
    bool ClearAll(int MaxFiles, int MaxDirs);
    int FilesCount() const { return static_cast<int>(FileTable.size()); }
    int DirsCount() const { return static_cast<int>(DirTable.size()) - 1; }

    TDEntry* RootDir = nullptr;
    int64_t CompilationSize = 0;
    bool ReplaceFile = false;
    bool JolietFileSystem = true;
    // Offset of the local zone from UTC in 15-minute units, taken by ClearAll.
    int16_t GMTOffset = 0;

    // Tables, in order of creation. FileTable and DirTable own the records;
    // ISODirOrder and JolietDirOrder hold the same directories and are put
    // into path-table order by the layout.
    std::vector<std::unique_ptr<TFEntry>> FileTable;
    std::vector<std::unique_ptr<TDEntry>> DirTable;
    std::vector<TDEntry*> ISODirOrder;
    std::vector<TDEntry*> JolietDirOrder;
    int MaxFiles = 0;
    int MaxDirs = 0;

protected:
    // A new directory linked into the three directory tables, or null at the limit.
    TDEntry* NewDirEntry();
    // A new file entry appended to FileTable (not linked), or null at the limit.
    TFEntry* NewFileEntry();
};

}  // namespace kestrel
