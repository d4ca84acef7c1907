#pragma once
// What a compilation will take on the disc, known before anything is added
// to the burner: each source is measured once in the background (the list's
// size column comes from the same walk), and the image size is estimated
// from those measures.
//
// The estimate counts every file's data in whole 2,048-byte sectors after
// the image's head, which holds the descriptors, the path tables and the
// directory records of both name spaces (ISO 9660 and Joliet) and takes at
// least 150 sectors, and keeps to the 300-sector minimum of a disc image. It does not lay the image out: a layout needs the burner's
// one compilation, which a running burn owns, and takes as long as adding
// every file. Names are taken at an average length, so for trees of many
// files with very long names it runs a little short; the burn itself lays
// the image out exactly and checks the fit again before it starts.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::app {

// What a source adds to an image: sectors of file data, sectors of
// directory records, and folders (for the path tables).
struct TImageShare {
    int64_t Data = 0;
    int64_t Records = 0;
    int64_t Dirs = 0;
};

struct TSourceMeasure {
    bool Missing = false;  // nothing (or a broken link) at the path
    int64_t Bytes = 0;     // regular files at or below the path, recursively
    TImageShare Tree;      // the whole tree
    TImageShare Top;       // the folder's own files only (the "R" box cleared)
};

// Walks Path once: a file, or a folder with everything below it. Folders
// reached twice through links count once, as the burner adds them once.
TSourceMeasure MeasureSource(const std::string& Path);

// A measure from a byte count alone (every byte in one run of sectors).
TSourceMeasure MeasureFromBytes(int64_t Bytes);

// Sectors of the directory records of a folder holding Items names.
int64_t DirectorySectors(int64_t Items);

// One list entry as the estimate sees it.
struct TMeasuredEntry {
    TSourceMeasure Measure;
    bool Recursive = true;
};

// The estimated size in sectors of an image made of Entries.
int64_t EstimateImageSectors(const std::vector<TMeasuredEntry>& Entries);

}  // namespace kestrel::app
