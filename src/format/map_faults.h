// Faults on the read-only maps of files (FileMap) that another process
// shrinks or rewrites in place while they are mapped.
//
// A page of a shared map whose file no longer reaches it cannot be read:
// the kernel raises SIGBUS on the reading thread, and by default the process
// ends. Each map is registered here in a fixed table that a SIGBUS handler
// reads without locks. The handler, installed once per process when the
// first map is registered, recognises a fault on a registered map by its
// address, marks that map faulted, replaces its pages from the faulting one
// to its end with zero pages, and returns: the read is made again and sees
// zeros. Nothing jumps out of the handler, so no frame, destructor or lock
// of the interrupted code is skipped. Readers bound every read by the map's
// size and ask faulted() after a search: what a faulted map answered is not
// to be trusted, and its file is to be opened again.
//
// Any other SIGBUS goes to the disposition that was in place before: the
// previous handler is called as it was installed (with or without
// SA_SIGINFO, under its own signal mask), and the default action or an
// ignored signal ends the process as the kernel would have.
#ifndef QUARVEL_SRC_FORMAT_MAP_FAULTS_H_
#define QUARVEL_SRC_FORMAT_MAP_FAULTS_H_

#include <cstddef>
#include <cstdint>

namespace quarvel {

// Registers the map [data, data + length), installing the handler first if
// needed. Answers its slot, or -1 when every slot is taken or the handler
// cannot be installed (the map is then not to be used).
int WatchMappedRange(const void *data, size_t length);

// Unregisters the slot (before its map is unmapped); -1 is ignored.
void ForgetMappedRange(int slot);

// True once a read of the slot's map met a page that its file no longer
// holds.
bool MappedRangeFaulted(int slot);

// Faults recovered in this process so far.
uint64_t RecoveredMapFaults();

}  // namespace quarvel

#endif  // QUARVEL_SRC_FORMAT_MAP_FAULTS_H_
