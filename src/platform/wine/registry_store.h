#pragma once
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/status.h"
#include "platform/wine/registry_tree.h"

// Where the registry tree of the machine (the Wine prefix) comes from: its three files, read
// only while no Wine server of the prefix runs, and read again when they changed.
namespace platform::wine {

// How long the first Open from a root waits for a running Wine server of the prefix to end before
// it reports kNotReady (60 s unless set; tests shorten it). Right after a failed wait, opens fail at
// once for a few seconds while the same server runs; setting the limit ends that.
void SetWineServerWaitTimeout(std::chrono::milliseconds timeout);

// True while a Wine server of the prefix runs: the server holds a lock on the file "lock" of its
// folder, "<tmp>/<name in the prefix's file 'wineserver'>/server-<dev>-<inode>/" (Debian) or
// "/tmp/.wine-<uid>/server-<dev>-<inode>/" (upstream Wine), dev and inode those of the prefix.
bool IsWineServerRunning(const std::filesystem::path& prefix);
// The folders where a server of the prefix would publish its socket and lock (existing or not).
std::vector<std::filesystem::path> WineServerFolders(const std::filesystem::path& prefix);

// Reads the three registry files of a prefix into a tree, without looking for a server. Lines
// that were skipped and files that could not be used are logged (level 2).
std::shared_ptr<const RegistryTree> LoadRegistryTree(const std::filesystem::path& prefix);

// The current tree of the machine's registry, loaded on first use and again when the files
// changed since. kNotReady when the machine is not usable or a server of the prefix did not end
// in time. Safe to call from several threads.
Status AcquireRegistryTree(std::shared_ptr<const RegistryTree>& tree);

// Forgets the loaded tree (the next AcquireRegistryTree reads the files again).
void ForgetRegistryTree();

}  // namespace platform::wine
