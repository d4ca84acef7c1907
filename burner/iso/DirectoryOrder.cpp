// Path-table order of the directories: the root first, then breadth first,
// the children of directory 1, then of directory 2, ..., siblings by their
// ISO 9660 name. Both orders end up identical and share the Numbers.
#include <algorithm>
#include <deque>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "burner/iso/ImageBuilder.h"

namespace kestrel {

namespace {

struct TOrderKey {
    int32_t ParentNumber;
    const std::string* Name;
};

bool Greater(const TOrderKey& A, const TOrderKey& B) {
    if (A.ParentNumber != B.ParentNumber) return A.ParentNumber > B.ParentNumber;
    // std::string compares bytes as unsigned; a prefix sorts first.
    return A.Name->compare(*B.Name) > 0;
}

// Shell sort of elements 1..n-1 by (parent Number, name); the root at 0 never
// moves. Every gap, from (n-1)/2 halving down to 1, runs passes until one
// makes no swap. The exact swap sequence decides the order of equal keys.
void SortDirectories(std::vector<TDEntry*>& Order, bool ByLongName) {
    const size_t n = Order.size();
    std::vector<TOrderKey> keys(n);
    for (size_t i = 0; i < n; ++i)
        keys[i] = {Order[i]->Parent->Number, ByLongName ? &Order[i]->LongName : &Order[i]->ShortName};
    size_t gap = n > 0 ? n - 1 : 0;
    while (gap > 1) {
        gap /= 2;
        bool swapped;
        do {
            swapped = false;
            for (size_t i = 1; i + gap <= n - 1; ++i) {
                if (Greater(keys[i], keys[i + gap])) {
                    std::swap(keys[i], keys[i + gap]);
                    std::swap(Order[i], Order[i + gap]);
                    swapped = true;
                }
            }
        } while (swapped);
    }
}

void Renumber(const std::vector<TDEntry*>& Order) {
    for (size_t i = 0; i < Order.size(); ++i) Order[i]->Number = static_cast<int32_t>(i + 1);
}

void ArrangeByNumber(std::vector<TDEntry*>& Order) {
    std::vector<TDEntry*> arranged(Order.size(), nullptr);
    for (TDEntry* dir : Order) {
        const auto slot = static_cast<size_t>(dir->Number - 1);
        if (dir->Number < 1 || slot >= arranged.size() || arranged[slot])
            throw std::logic_error("directory numbers are not a permutation");
        arranged[slot] = dir;
    }
    Order.swap(arranged);
}

bool ParentsAscending(const std::vector<TDEntry*>& Order) {
    for (size_t i = 1; i < Order.size(); ++i)
        if (Order[i]->Parent->Number < Order[i - 1]->Parent->Number) return false;
    return true;
}

}  // namespace

void TImageBuilder::OrderDirectories() {
    SortDirectories(ISODirOrder, false);
    Renumber(ISODirOrder);
    SortDirectories(JolietDirOrder, true);
    Renumber(JolietDirOrder);
    // Every round settles at least one more level of the tree, so the depth
    // bounds the rounds; the bound only guards against a broken tree.
    for (size_t round = 0; round <= ISODirOrder.size() + 1; ++round) {
        ArrangeByNumber(ISODirOrder);
        SortDirectories(ISODirOrder, false);
        Renumber(ISODirOrder);
        if (!ParentsAscending(ISODirOrder)) continue;
        ArrangeByNumber(JolietDirOrder);
        return;
    }
    throw std::logic_error("the directory order does not settle; the directory tree is broken");
}

}  // namespace kestrel

namespace kestrel {

// With deep directories relocated the primary tree differs from the Joliet
// one: its own path-table order, breadth first with siblings by ISO 9660
// name (names within a directory are unique, so no tie needs breaking).
void TImageBuilder::OrderRelocatedTree() {
    relocatedOrder_.clear();
    relocatedNumbers_.clear();
    if (relocation_.Empty()) return;
    const iso::TIsoTree tree = PrimaryTree();
    std::unordered_map<const TDEntry*, std::vector<TDEntry*>> children;
    tree.ForEachDir(DirTable, [&](TDEntry& Dir) {
        if (&Dir != RootDir) children[&tree.ParentOf(Dir)].push_back(&Dir);
    });
    std::deque<TDEntry*> queue{RootDir};
    while (!queue.empty()) {
        TDEntry* dir = queue.front();
        queue.pop_front();
        relocatedOrder_.push_back(dir);
        relocatedNumbers_[dir] = static_cast<int32_t>(relocatedOrder_.size());
        auto& kids = children[dir];
        std::stable_sort(kids.begin(), kids.end(),
                         [](const TDEntry* A, const TDEntry* B) { return A->ShortName < B->ShortName; });
        queue.insert(queue.end(), kids.begin(), kids.end());
    }
}

const std::vector<TDEntry*>& TImageBuilder::PrimaryPathOrder() const {
    return relocatedOrder_.empty() ? ISODirOrder : relocatedOrder_;
}

int32_t TImageBuilder::PrimaryNumber(const TDEntry& Dir) const {
    if (relocatedOrder_.empty()) return Dir.Number;
    const auto found = relocatedNumbers_.find(&Dir);
    return found == relocatedNumbers_.end() ? 0 : found->second;
}

}  // namespace kestrel
