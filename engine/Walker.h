#pragma once

// Inside the folder walk: one thread's walk of a piece of work. Only the walk's own files
// include this.

#include "engine/WalkScheduler.h"

#include <unordered_set>
#include <vector>

// One thread's walk of a piece, depth first. Only the folder whose sub-folders are being
// walked stays open: the walk goes down with openat(child) and back up with openat(".."),
// checking that ".." is still the folder it came from. When it is not (the folder was moved
// meanwhile), the walk finds the parent again by its names from the piece's open folder, so
// the folders left there are still walked; only what moved may be missed or met twice. A
// folder without sub-folders is read and closed at once. While other threads wait for work,
// half of the sub-folders left in the open folder go to them.
class Walker {
public:
    explicit Walker(WalkState& walk) : m_walk(walk) {}

    void Walk(Piece& piece);
    FolderTally TakeTally() { return std::exchange(m_tally, FolderTally{}); }

private:
    struct Level {
        FolderId id;
        std::uint64_t tag = 0; // what the sink returned for the folder
        std::string name;      // in the folder of the level above
        bool mountRoot = false;
        NameList subFolders;
        std::shared_ptr<const Ancestor> chain; // made when work is shared from this folder
    };

    int OpenFolderFd() const { return m_depth == 1 ? m_piece->parent->Get() : m_current.Get(); }
    bool IsAncestor(const FolderId& id, bool mountRoot) const {
        if (!mountRoot && !m_piece->belowMountRoot && m_mountRoots == 0)
            return false;
        return m_ancestors.contains(id) || IsInChain(m_piece->ancestors.get(), id);
    }
    void Descend(NamedIndex next);
    void Leave();
    bool UpToParent();
    void FindParentAgain();
    void DropLevelsFrom(std::size_t depth);
    void Read(Descriptor& folder, Level& level, std::size_t indexInParent);
    template <typename Each> void ForEachEntry(int fd, const Each& each);
    void Count(int fd, NamedIndex entry, unsigned char type, Level& level);
    void Record(int fd, NamedIndex entry, unsigned char type, Level& level, bool readOnlyVolume);
    void Report(Level& level, std::size_t indexInParent);
    void ShareSome(Level& level);
    std::shared_ptr<const Ancestor> ChainOf(std::size_t depth);

    WalkState& m_walk;
    Piece* m_piece = nullptr;
    std::vector<Level> m_levels; // [0, m_depth) in use; the rest keep their buffers for reuse
    std::size_t m_depth = 0;
    std::unordered_set<FolderId> m_ancestors; // the folders of levels 1 and up
    int m_mountRoots = 0;                     // how many of those are where a mount starts
    Descriptor m_current;
    FolderTally m_tally;
    // Entries as the system gives them, a block at a time.
    using Block = std::uint64_t;
    // Each thread reads a folder's entries in blocks of this size.
    static constexpr std::size_t kEntryBlockBytes = 32 * 1024;
    std::vector<Block> m_entries = std::vector<Block>(kEntryBlockBytes / sizeof(Block));
    // With a sink: the entries of the folder being read.
    std::vector<WalkedEntry> m_found;
    std::string m_foundNames;
    std::vector<std::size_t> m_nameEnds;
};
