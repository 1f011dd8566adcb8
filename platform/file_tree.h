// Copies of files and folder trees and the flushes that make them durable:
// the one place that moves file data for the file layer. A copy never
// follows a symbolic link (a reparse point on Windows) inside the tree it
// copies: a link is copied as a link, and a link met in the destination
// where a file, folder or link goes is replaced, never written through.
// Pipes, devices and sockets are refused (EINVAL). Every call answers 0 or
// an errno value.
#pragma once

#include <cstdint>
#include <string>

#include "platform/host_file_rw.h"

namespace halcyon::platform {

using CopyAdvanced = void (*)(uint64_t bytes, void *context);

// Copies the rest of `in` to `out` from their current offsets: in the kernel
// where the file systems allow it, else through one large reused buffer.
// `advanced` (may be null) receives each piece's byte count (several MiB).
// `retries` further attempts are made on a read error.
int CopyFileContents(HostFile &in, HostFile &out, CopyAdvanced advanced, void *context, int retries);

// How a tree or file copy runs.
struct TreeCopyOptions {
    // Files and links whose names match this wildcard are copied ("*.*": all).
    std::string mask = "*.*";
    bool recurse = true; // subfolders too
    int retries = 0;     // further attempts on a read error
    // Asked before a file is written (may be null): a non-zero errno makes
    // the copy into `hostOut` fail with it.
    int (*beforeWrite)(const std::string &hostOut, void *context) = nullptr;
    CopyAdvanced advanced = nullptr;
    void *context = nullptr;
};

// Copies the contents of the folder `from` (followed as given) into `to`,
// created with its parents, keeping file modes (attributes on Windows).
int CopyFolderTree(const std::string &from, const std::string &to, const TreeCopyOptions &options);
// Copies one file; `from` itself may be a link (the caller named it).
int CopyOneFile(const std::string &from, const std::string &to, const TreeCopyOptions &options);

// The data of the open file is on disk afterwards; file systems that cannot
// flush (read-only media) count as flushed.
int FlushFileContents(HostFile &file);
// Opens the file (not through a link) and flushes its data.
int FlushFileAt(const std::string &hostPath);
// Everything written to the file system holding `hostPath` is on disk
// afterwards (on Windows at least everything below `hostPath`, see there).
int FlushFileSystem(const std::string &hostPath);

} // namespace halcyon::platform
