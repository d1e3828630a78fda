// A model of a disk that loses power: the file changes a program made, in
// order, and the files a disk could hold after the power went at any point
// among them. No windows.h: the recording of real calls lives elsewhere.
//
// What a cut keeps, as a write-back cache of a FAT or NTFS volume could:
// - A file is content reached through a name. Changes of content (a write,
//   a new size) and changes of names (a new file's name, a delete, a rename)
//   are told apart.
// - A flush of a file makes every earlier change of its content durable, and
//   every earlier change of names that concerns it (its creation, a rename to
//   its name).
// - Any other change of content made before the cut is kept, dropped, or for
//   a write kept in part: up to a 512-byte boundary of the file, or any set
//   of its 512-byte sectors, a later one without an earlier one. Each change
//   on its own: a cache writes dirty sectors back in no particular order. A
//   write past the end that lands without the bytes before it leaves zeros
//   there.
// - Changes of names reach the disk in the order they were made on their
//   volume (its journal, or FAT's directory updates done one by one): a kept
//   one means every earlier one of that volume is kept, so a flush that
//   forces one forces all before it on the same volume. The volumes of two
//   drives (the text before a name's first colon) keep no order between them.
// - CopyFile is no more than a new name (when the destination is new), a cut
//   to size 0, the end of file set to the new size, one write of the whole
//   content and the file's times: it flushes nothing. MoveFile and DeleteFile
//   are changes of names.
// - Directories are taken as made and attributes are not kept.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace powercut {

// Files by name, with their content.
using Image = std::map<std::string, std::string>;

constexpr uint64_t kSectorBytes = 512;

enum class OpKind { Link, Unlink, Rename, SetSize, Write, Flush, Times };

// One change as it was made. `file` names the file itself, which keeps its
// number through renames; `name` is the name it had then (a rename's old one).
struct DiskOp {
    OpKind      kind;
    int         file;
    std::string name;
    std::string to;           // Rename: the new name
    uint64_t    offset = 0;   // Write: where it starts; SetSize: the new size
    std::string data;         // Write
};

bool ChangesNames(OpKind kind);

// The volume a name lies on: "d:" for "D:\k.pri", empty without a drive.
std::string VolumeOf(const std::string& name);

// "write of 600 bytes at 0 to D:\k.pri", for failure messages.
std::string Describe(const DiskOp& op);

enum class FateKind { Keep, Drop, Part, Sectors };

struct Fate {
    FateKind          kind;
    uint64_t          keptBytes = 0;   // Part: the first bytes of the write that landed
    std::vector<bool> sectors;         // Sectors: per 512-byte sector the write touches, from its first: landed
};

// Decides what became of one change that no flush made durable. Asked in
// order; for changes of names only Keep and Drop count (Part keeps).
using FateChooser = std::function<Fate(const DiskOp&)>;

// The changes of one run, starting from a durable image.
class CDiskJournal {
public:
    explicit CDiskJournal(const Image& base = Image());

    // The changes, each after the real call succeeded.
    int  Create(const std::string& name, bool truncate);   // returns the file now under name
    void Write(int file, uint64_t offset, const std::string& data);
    void SetSize(int file, uint64_t size);
    void Flush(int file);
    void Copy(const std::string& to, const std::string& content);   // as CopyFile makes it
    void Times(int file);
    void Move(const std::string& from, const std::string& to);
    void Delete(const std::string& name);

    int                        FileAt(const std::string& name) const;   // -1: none
    const std::vector<DiskOp>& Ops() const { return m_ops; }
    // Every name a file had at any time, those of the base included.
    const std::set<std::string>& Names() const { return m_names; }

    // The files with every change kept: what the program saw.
    Image Live() const;
    // The files after a cut before change number `cut` (0: before the first).
    Image AfterCut(size_t cut, const FateChooser& choose) const;

private:
    struct Disk {
        std::map<std::string, int> names;
        std::map<int, std::string> contents;
    };
    static void  Apply(Disk& disk, const DiskOp& op, uint64_t writeBytes);
    static void  ApplySectors(Disk& disk, const DiskOp& op, const std::vector<bool>& sectors);
    static Image Files(const Disk& disk);
    void         Record(DiskOp op);
    std::string  NameOf(int file) const;

    Disk                  m_base;
    Disk                  m_live;
    std::vector<DiskOp>   m_ops;
    std::set<std::string> m_names;
    int                   m_nNextFile = 0;
};

// Fates drawn from a seed: keep, drop and, for a write across a 512-byte
// boundary, keep up to a boundary or keep a random set of its sectors, alike
// often. The same seed gives the same fates.
class CRandomFates {
public:
    explicit CRandomFates(uint32_t seed) : m_state(seed * 2654435761u + 1u) {}
    Fate     operator()(const DiskOp& op);
    uint32_t Next(uint32_t below);

private:
    uint64_t m_state;
};

// Every pending change kept (`keep` true) or dropped, whatever it is.
FateChooser AllFates(bool keep);
// Pending changes of the file under `name` kept, all others dropped.
FateChooser KeepOnly(const std::string& name);

} // namespace powercut
