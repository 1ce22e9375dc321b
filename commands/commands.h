// The handlers of the zip.* script commands. Each takes the script VM state
// and returns 0 or 1 (the number of results pushed) or an error code.
#ifndef ZIPCVX_COMMANDS_H
#define ZIPCVX_COMMANDS_H

#include "plugin/host_interface.h"

extern "C" {
int32_t OpenArchive(VmState* vm);
int32_t CloseArchive(VmState* vm);
int32_t GetObjectType(VmState* vm);
int32_t AddDirectory(VmState* vm);
int32_t AddFile(VmState* vm);
int32_t GetFileAtIndex(VmState* vm);
int32_t DeleteFile(VmState* vm);
int32_t RenameFile(VmState* vm);
int32_t LocateFile(VmState* vm);
int32_t ExtractFile(VmState* vm);
int32_t GetFileAttributes(VmState* vm);
int32_t SetDefaultPassword(VmState* vm);
int32_t SetFileEncryption(VmState* vm);
int32_t SetFileCompression(VmState* vm);
int32_t SetFileComment(VmState* vm);
int32_t GetFileComment(VmState* vm);
int32_t SetFileTime(VmState* vm);
}

#endif
