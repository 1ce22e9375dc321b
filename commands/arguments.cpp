#include "commands/arguments.h"

#include <string.h>

#include "archive/archive_registry.h"
#include "plugin/plugin_state.h"

int32_t TruncateToInt32(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t CheckIndex(VmState* vm, int32_t position) {
    return TruncateToInt32(Vm().CheckNumber(vm, position));
}

ArchiveObject* LookupArchive(VmState* vm, ObjectId* id) {
    Vm().GetObjectId(vm, 1, id);
    return FindArchive(*id);
}

bool HasOptionTable(VmState* vm, int32_t argumentCount, int32_t position) {
    if (argumentCount <= position - 1) return false;
    Vm().CheckTable(vm, position);
    return true;
}

namespace {

// Pushes table[key]; false (with nothing left on the stack) when it is nil.
bool PushOption(VmState* vm, int32_t table, const char* key) {
    Vm().PushString(vm, key);
    Vm().GetTable(vm, table);
    if (Vm().IsNotNil(vm, -1) != 0) return true;
    Vm().SetTop(vm, -2);
    return false;
}

}  // namespace

int32_t OptionInteger(VmState* vm, int32_t table, const char* key, int32_t def) {
    if (!PushOption(vm, table, key)) return def;
    const int32_t value = TruncateToInt32(Vm().ToNumber(vm, -1));
    Vm().SetTop(vm, -2);
    return value;
}

bool OptionFlag(VmState* vm, int32_t table, const char* key) {
    return OptionInteger(vm, table, key, 0) != 0;
}

void PeekStringOption(VmState* vm, int32_t table, const char* key, StringOption* option) {
    option->text = nullptr;
    option->length = 0;
    if (!PushOption(vm, table, key)) return;
    option->text = Vm().CheckString(vm, -1, &option->length);
}

int32_t KeepOption(VmState* vm, int32_t table, const char* key) {
    if (!PushOption(vm, table, key)) return -1;
    return Vm().GetTop(vm);
}

bool HoldsZeroByte(const char* text, size_t length) {
    return text != nullptr && memchr(text, '\0', length) != nullptr;
}

int32_t CopyStringOption(const StringOption& option, char** copy) {
    *copy = nullptr;
    if (option.text == nullptr) return 0;
    *copy = static_cast<char*>(System().Alloc(option.length + 1, 0, "tstring"));
    if (*copy == nullptr) return kErrNoMemory;
    memcpy(*copy, option.text, option.length + 1);
    return 0;
}

int32_t CopyTextOption(const StringOption& option, char** copy) {
    *copy = nullptr;
    if (HoldsZeroByte(option.text, option.length)) return kErrBadValue;
    return CopyStringOption(option, copy);
}

void FreeStringOption(char* copy) {
    if (copy != nullptr) System().Free(copy);
}

void PushIdentifier(VmState* vm, const ObjectId& id) {
    if (id.handle != 0) {
        Vm().PushHandle(vm, id.handle);
    } else {
        Vm().PushNumber(vm, id.number);
    }
}

void SetStringField(VmState* vm, const char* key, const char* value) {
    Vm().PushString(vm, key);
    Vm().PushString(vm, value);
    Vm().SetTable(vm, -3);
}

void SetNumberField(VmState* vm, const char* key, double value) {
    Vm().PushString(vm, key);
    Vm().PushNumber(vm, value);
    Vm().SetTable(vm, -3);
}

void SetValueField(VmState* vm, const char* key, int32_t index) {
    Vm().PushString(vm, key);
    // The key just pushed moves every index counted from the top down by one.
    Vm().PushValue(vm, index < 0 ? index - 1 : index);
    Vm().SetTable(vm, -3);
}
