// Writes that never go through a link or junction someone else made. Every
// folder and file is opened without following a link at its last element, and
// the object opened must be the one the path names as the file system reports
// it: that also catches a link further up that was not checked, and links the
// platform does not report as such.
//
// Paths handed in are in final form: the file system's own spelling of an
// existing folder (see FinalFormOf), with the names to write appended.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string_view>
#include <vector>

#include "util/unique_handle.h"

namespace zel {

// The error a write gets where a link or junction stands in its way, or where
// what it opened is not at the path it was given: the system's "reparse point
// encountered" (ERROR_REPARSE_POINT_ENCOUNTERED, which the MinGW headers lack).
inline constexpr DWORD kLinkInTheWay = 4395;

// The folder's path as the file system reports it (links on the way resolved,
// the \\?\ prefix taken away); empty when it cannot be opened.
std::filesystem::path FinalFolderPath(const std::filesystem::path& folder);

// The path's folder in final form with its last name appended; empty when the
// folder cannot be opened. The folder is followed wherever it leads: the caller
// has made or checked it.
std::filesystem::path FinalFormOf(const std::filesystem::path& path);

// The entry behind handle is a link or junction, or lies elsewhere than path
// (in final form) names.
bool IsLinkedAway(HANDLE handle, const std::filesystem::path& path);

// Creates the folder (its parent exists) or opens the folder there, without
// following a link at it. The handle shares no delete access: while it is held
// nobody can rename the folder away and put a link in its place. descriptor
// secures a folder made here (nullptr: the parent's list is inherited);
// created, when given, tells whether this call made it. False with error:
// kLinkInTheWay where a link or junction stands, ERROR_DIRECTORY where a file
// does, else the system's error.
bool CreateFolderNoFollow(const std::filesystem::path& folder, PSECURITY_DESCRIPTOR descriptor,
                          UniqueKernelHandle& held, bool* created, DWORD& error);

// CreateFolderNoFollow for folder and every folder between root (an existing
// folder, in final form) and it; the handles are added to held. False with
// error and failedAt, the folder that could not be made or opened.
bool CreateFoldersNoFollow(const std::filesystem::path& root, const std::filesystem::path& folder,
                           std::vector<UniqueKernelHandle>& held, std::filesystem::path& failedAt, DWORD& error);

// Creates the file, or opens the file there, for writing (no sharing) without
// following a link at it. An existing file is emptied only once it is known to
// be the file the path names. As a replacing create, a read-only, hidden or
// system file in the way fails with access denied. Empty with error as for
// CreateFolderNoFollow.
UniqueKernelHandle CreateFileNoFollow(const std::filesystem::path& file, DWORD& error);

// The bytes written to file through CreateFileNoFollow; false with error.
bool WriteFileNoFollow(const std::filesystem::path& file, std::string_view bytes, DWORD& error);

// Copies the contents of source (followed as usual) onto target through
// CreateFileNoFollow; false with error. Attributes and times are not copied.
bool CopyFileNoFollow(const std::filesystem::path& source, const std::filesystem::path& target, DWORD& error);

}  // namespace zel
