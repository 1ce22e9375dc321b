// What every zip.* command shares: integer conversions, the archive lookup,
// option tables, and fields of result tables.
//
// Order, common to all commands: first the non-identifier arguments by
// position, then the argument count, then the identifier and the lookup,
// then the option table. Every fetch may raise, so a command owns nothing
// until its last fetch is done: option strings are first read where they
// lie on the VM stack, and copied only after every check has passed.
#ifndef ZIPCVX_ARGUMENTS_H
#define ZIPCVX_ARGUMENTS_H

#include <stddef.h>
#include <zip.h>

#include "plugin/host_interface.h"

// Toward zero, saturating at the 32-bit range; NaN gives 0.
int32_t TruncateToInt32(double value);

// An entry index as libzip takes it: the truncated value sign-extended, so
// a negative index becomes a huge one that libzip rejects.
inline zip_uint64_t EntryIndex(int32_t index) {
    return static_cast<zip_uint64_t>(static_cast<int64_t>(index));
}
int32_t CheckIndex(VmState* vm, int32_t position);  // CheckNumber, truncated

// Reads the identifier at position 1 into *id and finds its archive; null
// when none has it (the command then returns errNoArchive at once).
ArchiveObject* LookupArchive(VmState* vm, ObjectId* id);

// True when the option table at position is given (more than position - 1
// arguments); then it has been checked to be a table.
bool HasOptionTable(VmState* vm, int32_t argumentCount, int32_t position);

// A numeric option, truncated; def when the key is absent or nil.
int32_t OptionInteger(VmState* vm, int32_t table, const char* key, int32_t def);
// A flag option: on when its integer is not 0.
bool OptionFlag(VmState* vm, int32_t table, const char* key);

// A string option as it lies on the VM stack; valid while it is kept there.
struct StringOption {
    const char* text;  // null when the option is absent or nil
    size_t length;
};
// Reads a string option. When present, its value stays on the stack (one
// slot) until the command sets the top back; absent, nothing stays.
void PeekStringOption(VmState* vm, int32_t table, const char* key, StringOption* option);
// Any other value (a callback, userdata) kept on the stack: its index, or -1
// when absent or nil, in which case nothing stays.
int32_t KeepOption(VmState* vm, int32_t table, const char* key);

// True when text holds a zero byte before its end: as a C string it would
// be cut short there. Names and passwords with one are refused (1055).
bool HoldsZeroByte(const char* text, size_t length);

// Copies a string option into a block from the host ("tstring"); *copy is
// null when the option is absent. 1000 when the block cannot be had, with
// nothing copied. Never raises.
int32_t CopyStringOption(const StringOption& option, char** copy);
// The same for a name or a password, which libzip takes as a C string:
// first 1055 when the option holds a zero byte.
int32_t CopyTextOption(const StringOption& option, char** copy);
void FreeStringOption(char* copy);

// Pushes an identifier the way the script gave it: a handle, or its number.
void PushIdentifier(VmState* vm, const ObjectId& id);

// Sets table[key] = value for the table at the top of the stack.
void SetStringField(VmState* vm, const char* key, const char* value);
void SetNumberField(VmState* vm, const char* key, double value);
// The value at index (a position, or counted from the top before the call)
// becomes table[key].
void SetValueField(VmState* vm, const char* key, int32_t index);

#endif
