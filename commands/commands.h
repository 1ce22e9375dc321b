// The zip.* script commands. Each takes the script VM state and returns 0 or
// 1 (the number of results pushed) or an error code.
#ifndef ZIPCVX_COMMANDS_H
#define ZIPCVX_COMMANDS_H

#include "plugin/host_interface.h"

// The 17 commands, in the order of the library's command and help-string
// tables, each with its help string as the host shows it. This list is the
// only place they are written out: it declares the handlers and builds both
// tables (commands/library_tables.cpp). The blank after the comma in
// GetFileAttributes' string and the tab in SetFileCompression's are part of
// the strings.
#define ZIPCVX_COMMANDS(X)                                                                      \
    X(OpenArchive,                                                                              \
      "[id]=zip.OpenArchive(id,filename$[,mode]) -- open a zip archive for reading or writing") \
    X(CloseArchive, "zip.CloseArchive(id[,discard,callback,userdata]) -- close zip archive")    \
    X(GetObjectType, "type=zip.GetObjectType() -- get zip archive object type")                 \
    X(AddDirectory, "idx=zip.AddDirectory(id,d$) -- add directory to zip archive")              \
    X(AddFile, "idx=zip.AddFile(id,f$[,table]) -- add file to zip archive")                     \
    X(GetFileAtIndex, "name$=zip.GetFileAtIndex(id,idx) -- get name of file by index")          \
    X(DeleteFile, "zip.DeleteFile(id,idx) -- delete file from zip archive")                     \
    X(RenameFile, "zip.RenameFile(id,idx,newname$) -- rename file in zip archive")              \
    X(LocateFile, "idx=zip.LocateFile(id,name$[,table]) -- find file in zip archive")           \
    X(ExtractFile, "zip.ExtractFile(id,idx,dst$[,table]) -- extract file from zip archive")     \
    X(GetFileAttributes, "t=zip.GetFileAttributes(id, idx) -- get file attributes")             \
    X(SetDefaultPassword, "zip.SetDefaultPassword(id,pwd$) -- set default password")            \
    X(SetFileEncryption, "zip.SetFileEncryption(id,idx,method[,pwd$]) -- set file encryption")  \
    X(SetFileCompression,                                                                       \
      "zip.SetFileCompression(id,idx,method[,flags])\t-- set file compression")                 \
    X(SetFileComment, "zip.SetFileComment(id[,c$,idx]) -- set file comment")                    \
    X(GetFileComment, "c$=zip.GetFileComment(id[,idx]) -- get file comment")                    \
    X(SetFileTime, "zip.SetFileTime(id,idx,time$) -- set file datestamp")

#define ZIPCVX_DECLARE_COMMAND(name, help) extern "C" int32_t name(VmState* vm);
ZIPCVX_COMMANDS(ZIPCVX_DECLARE_COMMAND)
#undef ZIPCVX_DECLARE_COMMAND

#endif
