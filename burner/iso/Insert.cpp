#include "burner/iso/FillCompilation.h"

namespace kestrel {

int TCompilation::InsertFile(const std::string&, const std::string&, bool) { return -1; }
int TCompilation::InsertDir(TDEntry*, const std::string&, const std::string&, int, bool, bool, bool) { return 0; }
int TCompilation::AddFileEntry(TDEntry*, const TSearchData&, const std::string&, int32_t, bool) { return 0; }
TDEntry* TCompilation::MakeDirEntry(TDEntry*, const TSearchData&) { return nullptr; }
TDEntry* TCompilation::AddDirByName(TDEntry*, const std::string&, int) { return nullptr; }
TDEntry* TCompilation::ForceDirPath(const std::string&) { return nullptr; }
TDEntry* TCompilation::FindDirEntry(const std::string&) const { return nullptr; }
TFEntry* TCompilation::FindFileEntry(const TDEntry*, const std::string&) const { return nullptr; }
bool TCompilation::RemoveFile(TDEntry*, TFEntry*) { return true; }
bool TCompilation::RemoveDir(TDEntry*) { return false; }
bool TCompilation::RemoveEmptyDirs() { return true; }
bool TCompilation::ClearArchiveBits() { return true; }
int64_t TCompilation::GetPathSize(const std::string&) const { return 0; }
bool TCompilation::RemoveByPath(const std::string&, const std::string&) { return false; }

TFillResult FillCompilation(TCompilation&, const std::vector<TListEntry>&, const TFillOptions&) { return {}; }
TListEntry MakeListEntry(const std::string& Path) { return {Path, false}; }

}  // namespace kestrel
