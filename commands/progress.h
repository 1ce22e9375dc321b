// Script progress callbacks: a function kept on the VM stack, called with a
// fresh progress table {action, id, progress[, userdata]}.
#ifndef ZIPCVX_PROGRESS_H
#define ZIPCVX_PROGRESS_H

#include "plugin/host_interface.h"

struct ProgressCallback {
    int32_t function;    // stack index of the script function
    int32_t userdata;    // stack index of the userdata value; -1 for none
    const char* action;  // the command's name, such as "ExtractFile"
    const ObjectId* id;  // the archive identifier as the script gave it
};

// Sets host tag 31, builds the progress table and calls the function, then
// clears the tag. Never raises: with the tag set, the host builds the table
// without raising and reports a memory shortage as CallFunction's code. While
// the script runs, guarded (unless null) is held by an ArchiveGuard, so that
// the script cannot close, reopen or change it. Returns 0, the code that
// carries the error the script raised, or kErrNoMemory when there was no
// memory for the table. The callback's results are dropped.
int32_t CallProgressCallback(VmState* vm, const ProgressCallback& callback, int32_t percent,
                             const ArchiveObject* guarded);

#endif
