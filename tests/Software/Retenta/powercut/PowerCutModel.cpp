#include "PowerCutModel.h"

#include <algorithm>

namespace powercut {

bool ChangesNames(OpKind kind)
{
    return kind == OpKind::Link || kind == OpKind::Unlink || kind == OpKind::Rename;
}

std::string VolumeOf(const std::string& name)
{
    size_t colon = name.find(':');
    if (colon == std::string::npos) return std::string();
    std::string volume = name.substr(0, colon + 1);
    for (char& c : volume)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return volume;
}

std::string Describe(const DiskOp& op)
{
    switch (op.kind) {
    case OpKind::Link: return "new name " + op.name;
    case OpKind::Unlink: return "delete of " + op.name;
    case OpKind::Rename: return "rename of " + op.name + " to " + op.to;
    case OpKind::SetSize: return "size " + std::to_string(op.offset) + " of " + op.name;
    case OpKind::Write:
        return "write of " + std::to_string(op.data.size()) + " bytes at " + std::to_string(op.offset) + " to " + op.name;
    case OpKind::Flush: return "flush of " + op.name;
    case OpKind::Times: return "times of " + op.name;
    }
    return std::string();
}

CDiskJournal::CDiskJournal(const Image& base)
{
    for (const auto& file : base) {
        int number = m_nNextFile++;
        m_base.names[file.first] = number;
        m_base.contents[number] = file.second;
        m_names.insert(file.first);
    }
    m_live = m_base;
}

int CDiskJournal::FileAt(const std::string& name) const
{
    auto found = m_live.names.find(name);
    return found == m_live.names.end() ? -1 : found->second;
}

std::string CDiskJournal::NameOf(int file) const
{
    for (const auto& entry : m_live.names)
        if (entry.second == file) return entry.first;
    return std::string();
}

void CDiskJournal::Record(DiskOp op)
{
    m_names.insert(op.name);
    if (!op.to.empty()) m_names.insert(op.to);
    m_ops.push_back(std::move(op));
    Apply(m_live, m_ops.back(), m_ops.back().data.size());
}

int CDiskJournal::Create(const std::string& name, bool truncate)
{
    int file = FileAt(name);
    if (file >= 0) {
        if (truncate) SetSize(file, 0);
        return file;
    }
    file = m_nNextFile++;
    Record(DiskOp{OpKind::Link, file, name, std::string(), 0, std::string()});
    return file;
}

void CDiskJournal::Write(int file, uint64_t offset, const std::string& data)
{
    if (file < 0 || data.empty()) return;
    Record(DiskOp{OpKind::Write, file, NameOf(file), std::string(), offset, data});
}

void CDiskJournal::SetSize(int file, uint64_t size)
{
    if (file < 0) return;
    Record(DiskOp{OpKind::SetSize, file, NameOf(file), std::string(), size, std::string()});
}

void CDiskJournal::Flush(int file)
{
    if (file < 0) return;
    Record(DiskOp{OpKind::Flush, file, NameOf(file), std::string(), 0, std::string()});
}

void CDiskJournal::Copy(const std::string& to, const std::string& content)
{
    int file = Create(to, true);
    SetSize(file, content.size());
    Write(file, 0, content);
    Times(file);
}

void CDiskJournal::Times(int file)
{
    if (file < 0) return;
    Record(DiskOp{OpKind::Times, file, NameOf(file), std::string(), 0, std::string()});
}

void CDiskJournal::Move(const std::string& from, const std::string& to)
{
    int file = FileAt(from);
    if (file < 0) return;
    Record(DiskOp{OpKind::Rename, file, from, to, 0, std::string()});
}

void CDiskJournal::Delete(const std::string& name)
{
    int file = FileAt(name);
    if (file < 0) return;
    Record(DiskOp{OpKind::Unlink, file, name, std::string(), 0, std::string()});
}

void CDiskJournal::Apply(Disk& disk, const DiskOp& op, uint64_t writeBytes)
{
    switch (op.kind) {
    case OpKind::Link:
        disk.names[op.name] = op.file;
        disk.contents[op.file];
        break;
    case OpKind::Unlink:
    case OpKind::Rename: {
        auto found = disk.names.find(op.name);
        if (found != disk.names.end() && found->second == op.file) disk.names.erase(found);
        if (op.kind == OpKind::Rename) disk.names[op.to] = op.file;
        break;
    }
    case OpKind::SetSize:
        disk.contents[op.file].resize(op.offset, '\0');
        break;
    case OpKind::Write: {
        size_t bytes = static_cast<size_t>(std::min<uint64_t>(writeBytes, op.data.size()));
        if (bytes == 0) break;
        std::string& content = disk.contents[op.file];
        size_t offset = static_cast<size_t>(op.offset);
        if (content.size() < offset + bytes) content.resize(offset + bytes, '\0');
        content.replace(offset, bytes, op.data, 0, bytes);
        break;
    }
    case OpKind::Flush:
    case OpKind::Times:   // times are not kept
        break;
    }
}

void CDiskJournal::ApplySectors(Disk& disk, const DiskOp& op, const std::vector<bool>& sectors)
{
    const uint64_t begin = op.offset;
    const uint64_t end = op.offset + op.data.size();
    const uint64_t first = begin / kSectorBytes;
    for (uint64_t s = first; s * kSectorBytes < end; ++s) {
        size_t index = static_cast<size_t>(s - first);
        if (index >= sectors.size() || !sectors[index]) continue;
        uint64_t from = std::max(begin, s * kSectorBytes);
        uint64_t to = std::min(end, (s + 1) * kSectorBytes);
        DiskOp piece = op;
        piece.offset = from;
        piece.data = op.data.substr(static_cast<size_t>(from - begin), static_cast<size_t>(to - from));
        Apply(disk, piece, piece.data.size());
    }
}

Image CDiskJournal::Files(const Disk& disk)
{
    Image files;
    for (const auto& entry : disk.names) {
        auto content = disk.contents.find(entry.second);
        files[entry.first] = content == disk.contents.end() ? std::string() : content->second;
    }
    return files;
}

Image CDiskJournal::Live() const
{
    return Files(m_live);
}

Image CDiskJournal::AfterCut(size_t cut, const FateChooser& choose) const
{
    cut = std::min(cut, m_ops.size());

    // Changes of names, per volume, up to the last one a flush before the
    // cut forced.
    std::map<int, long> lastNameChange;
    std::map<std::string, long> forcedNames;
    for (size_t i = 0; i < cut; ++i) {
        const DiskOp& op = m_ops[i];
        if (ChangesNames(op.kind)) {
            lastNameChange[op.file] = static_cast<long>(i);
        } else if (op.kind == OpKind::Flush) {
            auto found = lastNameChange.find(op.file);
            if (found == lastNameChange.end()) continue;
            long& forced = forcedNames[VolumeOf(m_ops[found->second].name)];
            forced = std::max(forced, found->second + 1);
        }
    }
    // Changes of content that a later flush of their file (before the cut) made durable.
    std::vector<bool> durable(cut, false);
    std::set<int> flushedLater;
    for (size_t i = cut; i-- > 0;) {
        const DiskOp& op = m_ops[i];
        if (op.kind == OpKind::Flush) flushedLater.insert(op.file);
        else if (!ChangesNames(op.kind)) durable[i] = flushedLater.count(op.file) != 0;
    }

    Disk disk = m_base;
    std::set<std::string> namesStopped;   // volumes where a change of names did not land
    for (size_t i = 0; i < cut; ++i) {
        const DiskOp& op = m_ops[i];
        if (op.kind == OpKind::Flush) continue;
        uint64_t all = op.data.size();
        if (ChangesNames(op.kind)) {
            std::string volume = VolumeOf(op.name);
            if (static_cast<long>(i) < forcedNames[volume]) {
                Apply(disk, op, all);
            } else if (!namesStopped.count(volume)) {
                if (choose(op).kind == FateKind::Drop) namesStopped.insert(volume);
                else Apply(disk, op, all);
            }
            continue;
        }
        if (durable[i]) {
            Apply(disk, op, all);
            continue;
        }
        Fate fate = choose(op);
        if (fate.kind == FateKind::Keep) Apply(disk, op, all);
        else if (fate.kind == FateKind::Part) Apply(disk, op, op.kind == OpKind::Write ? fate.keptBytes : all);
        else if (fate.kind == FateKind::Sectors) {
            if (op.kind == OpKind::Write) ApplySectors(disk, op, fate.sectors);
            else Apply(disk, op, all);
        }
    }
    return Files(disk);
}

uint32_t CRandomFates::Next(uint32_t below)
{
    m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
    return below ? static_cast<uint32_t>((m_state >> 33) % below) : 0;
}

Fate CRandomFates::operator()(const DiskOp& op)
{
    if (op.kind == OpKind::Write && op.data.size() > 1) {
        // The boundaries strictly inside the write: a sector after the first
        // may be the first that did not land.
        uint64_t first = (op.offset / kSectorBytes + 1) * kSectorBytes;
        uint64_t last = ((op.offset + op.data.size() - 1) / kSectorBytes) * kSectorBytes;
        if (first <= last) {
            uint32_t pick = Next(4);
            if (pick == 0) return Fate{FateKind::Keep};
            if (pick == 1) return Fate{FateKind::Drop};
            if (pick == 2) {
                uint64_t boundary = first + kSectorBytes * Next(static_cast<uint32_t>((last - first) / kSectorBytes + 1));
                return Fate{FateKind::Part, boundary - op.offset};
            }
            Fate scattered{FateKind::Sectors};
            size_t sectors = static_cast<size_t>((last - first) / kSectorBytes + 2);
            for (size_t s = 0; s < sectors; ++s) scattered.sectors.push_back(Next(2) != 0);
            return scattered;
        }
    }
    return Fate{Next(2) ? FateKind::Keep : FateKind::Drop};
}

FateChooser AllFates(bool keep)
{
    return [keep](const DiskOp&) { return Fate{keep ? FateKind::Keep : FateKind::Drop}; };
}

FateChooser KeepOnly(const std::string& name)
{
    return [name](const DiskOp& op) { return Fate{op.name == name ? FateKind::Keep : FateKind::Drop}; };
}

} // namespace powercut
