// The plugin's entry points. The host reaches them only by name, through the
// lookup function in the plugin header; none of them is exported.
#ifndef ZIPCVX_ENTRY_POINTS_H
#define ZIPCVX_ENTRY_POINTS_H

#include "plugin/host_interface.h"

extern "C" {
int32_t InitPlugin(PluginInfo* info, const HostServices* services);
void ClosePlugin(void);
int32_t RequirePlugin(VmState* vm);
void* FOpen(const char* path, int32_t mode, const TagItem* tags);
int32_t FClose(void* file);
int32_t FRead(void* file, void* buffer, int32_t count);
int32_t FGetC(void* file);
int32_t FWrite(void* file, const void* buffer, int32_t count);
int32_t FPutC(void* file, int32_t c);
int64_t FSeek(void* file, int64_t offset, int32_t mode);
int32_t FFlush(void* file);
int32_t FEof(void* file);
int32_t Stat(const char* path, int32_t flags, StatRecord* record);
int32_t FStat(void* file, int32_t flags, StatRecord* record);
void* OpenDir(const char* path);
void CloseDir(void* dir);
int32_t NextDirEntry(void* dir, StatRecord* record);
const char* GetBaseTable(void);
const CommandRecord* GetCommands(void);
const ConstantRecord* GetConstants(void);
const HelpStringRecord* GetHelpStrings(void);
int32_t InitLibrary(VmState* vm);
void FreeLibrary(VmState* vm);
int32_t GetExtensions(int32_t kind);
}

#endif
