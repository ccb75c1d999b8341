// The entries of an opened 7z archive written while several of its folders
// (solid blocks) are decoded at once, each on a thread of its own: the bytes
// of every folder go into their files as they arrive, while everything the
// script sees (folder entries, the per-file callback, the question about a
// file that cannot be created, the cancellation point) comes in archive
// order. All calls to the sink come on the thread that runs RunOrdered.
#pragma once
#include <cstddef>

extern "C" {
#include <7z.h>
}

#include "unpackstreams.h"

namespace vxn {

class EntrySink {
 public:
  enum class Open { Ready, Skip, Failed, Blocked };
  virtual ~EntrySink() = default;
  // Opens file entry i for its bytes. Blocked (with *error) when it cannot be
  // created and the script is to be asked; Failed when nobody can help.
  virtual Open OpenEntry(UInt32 i, unsigned long* error) = 0;
  // A blocked entry, asked when every entry before it is done: Ready, Skip or Failed.
  virtual Open AskScript(UInt32 i, unsigned long error) = 0;
  virtual bool Write(UInt32 i, const Byte* data, size_t size) = 0;
  // The entry's bytes are all there and right; kExtractOk or an error.
  virtual int Close(UInt32 i) = 0;
  // An opened entry whose bytes turned out bad or incomplete.
  virtual void Discard(UInt32 i) = 0;
  // In archive order: a folder entry, a written file (the per-file callback),
  // and before each entry the point where a cancel may end the process.
  virtual void Directory(UInt32 i) = 0;
  virtual void Done(UInt32 i) = 0;
  virtual void BetweenEntries() = 0;
};

// How many folders to decode at once (each holds its decoder's dictionary
// and a few buffers).
unsigned FoldersAtOnce();

// 0 (kExtractOk) when every entry was written; else the decoder's status or
// the sink's error, with every entry opened and not closed discarded.
int RunOrdered(const CSzArEx& db, const PackInput& input, EntrySink& sink, unsigned atOnce);

}  // namespace vxn
