/*
 * host_interface.h -- everything the host and the zip.cvx plugin share.
 *
 * The host loads the plugin file, searches its mapped segments for the
 * 16-byte PluginHeader (magic "CALVORAX", format version 1, lookup function)
 * and from then on reaches the plugin only through the entry points that the
 * lookup function hands out.  The plugin reaches the host only through the
 * HostServices table that InitPlugin receives.
 *
 * Finding the header.  It holds a pointer, so the loader must relocate it:
 * it lies in relocation-read-only data, inside the segment that is writable
 * while relocating and read-only after.  Search every readable loaded
 * segment for the magic, and take a match aligned for a PluginHeader whose
 * formatVersion is kPluginHeaderVersion.
 *
 * Layout.  The host runs on a 32-bit big-endian machine: every pointer and
 * every "word" below is 32 bits there, and the records have exactly the
 * offsets written beside their fields.  On a 64-bit build pointers and
 * handles are 8 bytes and the records get the natural C layout for their
 * fields, also given beside each field ("64-bit: N").  Both sets of offsets
 * are asserted at compile time (end of this header).
 *
 * Raising.  Script VM operations marked 'm' or 'e' (see VmServices) report
 * a bad argument or an out-of-memory condition by unwinding with longjmp
 * straight back into the host.  A plugin frame that is alive across such a call must own
 * nothing that needs releasing and hold no object with a destructor.
 */
#ifndef ZIPCVX_HOST_INTERFACE_H
#define ZIPCVX_HOST_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- basics */

typedef struct VmState VmState; /* the host's script VM; opaque to the plugin */
typedef uintptr_t HostFile;     /* host file handle; 0 means "no file" */

/* A point in local time, as the host keeps it in its records. */
typedef struct DateGroup {
    int32_t second; /* 0..60 */
    int32_t minute; /* 0..59 */
    int32_t hour;   /* 0..23 */
    int32_t day;    /* day of the month, 1..31 */
    int32_t month;  /* 0 = January .. 11 = December */
    int32_t year;   /* full year, such as 2017 */
} DateGroup;

/* Script object identifier: a number (handle 0), or an automatic identifier
 * whose handle word is the address of the object's record.  A script's nil
 * is no identifier of its own: GetNewObjectId takes it as a request for an
 * automatic one, GetObjectId as a bad argument. */
typedef struct ObjectId {
    int32_t number;   /* 0; the number of a numeric identifier */
    uintptr_t handle; /* 4 (64-bit: 8); 0 for a numeric identifier */
} ObjectId;

/* One (tag, value) pair of a tag list; a pair with tag 0 ends the list. */
typedef struct TagItem {
    uint32_t tag;    /* 0 */
    uintptr_t value; /* 4 (64-bit: 8) */
} TagItem;

enum {
    /* SetHostTags: 1 while a script callback's arguments are built and it
     * runs; the pushes that build them then do not raise */
    kHostTagInCallback = 31
};

/* File information, filled by the host's ExamineFile and by the adapter's
 * Stat, FStat and NextDirEntry. */
typedef struct StatRecord {
    int32_t kind;            /*   0: kStatKindFile or kStatKindDirectory */
    uint32_t reserved4;      /*   4 */
    int64_t size;            /*   8: bytes; 0 for a directory */
    uint32_t reserved16;     /*  16 */
    DateGroup dates[3];      /*  20, 44, 68: the adapter writes one date thrice */
    const char* name;        /*  92 (64-bit: 96) */
    uint32_t reserved96;     /*  96 (64-bit: 104) */
    int32_t originCode;      /* 100 (64-bit: 108): kStatOriginFStat from FStat, else 0 */
    const char* originPath;  /* 104 (64-bit: 112): archive path from FStat */
    uint32_t reserved108;    /* 108 (64-bit: 120) */
} StatRecord;                /* 112 bytes (64-bit: 128) */

/* StatRecord.kind, and StatRecord.originCode of a record that FStat filled:
 * its originPath then names the archive the file was opened from. */
enum { kStatKindFile = 0, kStatKindDirectory = 1 };
enum { kStatOriginFStat = 2 };

/* Flag of Stat and FStat: return the name in a fresh block from Alloc
 * (tag "fullpath") that passes to the caller, instead of in the adapter's
 * shared name buffer. */
enum { kStatFullName = 2 };

/* Open flags of the host's file layer (OpenFile and the adapter's FOpen). */
enum {
    kOpenWrite = 1,
    kOpenRead = 4,
    kOpenReadFlag8 = 8 /* together with kOpenRead: OpenFile mode 12 */
};

/* Seek modes of SeekFile and FSeek. */
enum { kSeekCurrent = 0, kSeekStart = 1, kSeekEnd = 2 };

/* Open tags of FOpen.  Tag 2 or tag 5 carries a value from which the host's
 * file services make a file name for the archive's data, instead of the
 * path naming it; tags 3 and 4 qualify that value.  Their meaning is the
 * host's: the plugin only hands them on (SourceDescriptor, and
 * CreateSourceFileName, whose isTag5 says which value it was given). */
enum {
    kOpenTagSource2 = 2,    /* a value; wins over tag 5 on hosts 7.1 and later */
    kOpenTagQualifier3 = 3, /* qualifies tag 2 */
    kOpenTagQualifier4 = 4, /* qualifies tag 2 or tag 5 */
    kOpenTagSource5 = 5     /* a value; wins over tag 2 on older hosts */
};

/* Built by FOpen for MakeSourceFileName from its open tags. */
typedef struct SourceDescriptor {
    uintptr_t tag2;        /*  0: tag 2, or 0 */
    uintptr_t tag5;        /*  4 (64-bit: 8): tag 5 when tag 2 is absent, else 0 */
    const char* extension; /*  8 (64-bit: 16): behind the archive path's last '.' */
    uintptr_t reserved;    /* 12 (64-bit: 24): 0 */
    uint64_t tag3;         /* 16 (64-bit: 32): tag 3 when tag 2 is present, else 0 */
    uint64_t tag4;         /* 24 (64-bit: 40): tag 4 */
} SourceDescriptor;        /* 32 bytes (64-bit: 48) */

/* -------------------------------------------------- host service tables */

/* The handler of an object type: push the value of one attribute of the
 * object named by id and return 1, or return an error code. */
typedef int32_t (*ObjectTypeHandler)(VmState* vm, int32_t attribute, const ObjectId* id);

struct PluginInfo;

/* Sub-table 3: system services.  None of them raises. */
typedef struct SystemServices {
    /* 0: tags such as kHostTagInCallback, list ended by tag 0 */
    void (*SetHostTags)(const TagItem* tags);
    /* 1: message may hold one "%s"; returns the code the host assigns */
    int32_t (*RegisterError)(const char* message);
    /* 2: text for the "%s" of the next error code returned; copied */
    void (*SetErrorArg)(const char* text);
    const void* reserved3[8];
    /* 11: size bytes, zero-filled when clear != 0, aligned for any C type
     * (as malloc's are: records holding 64-bit fields and pointers live in
     * them); null on failure.  tag is a short constant string naming the
     * use of the block.  A size of 0 still gives a block to Free. */
    void* (*Alloc)(size_t size, int32_t clear, const char* tag);
    /* 12: a block from Alloc, or null */
    void (*Free)(void* block);
    const void* reserved13[4];
    /* 17: listHead is the address of the head pointer of the plugin's list
     * of records; each record starts with the ArchiveObject prefix (type,
     * id number, id handle, word, next). Returns the type id. */
    int32_t (*RegisterObjectType)(VmState* vm, const char* name, void* listHead,
                                  ObjectTypeHandler handler);
    /* 18: the record is about to leave the list and be freed */
    void (*UnregisterObject)(VmState* vm, void* record);
    const void* reserved19[21];
    /* 40: the current local date and time */
    void (*GetCurrentDate)(DateGroup* date);
    const void* reserved41[2];
    /* 43: 0 on success, else an error code */
    int32_t (*ActivateCapability)(struct PluginInfo* info, uint32_t bit);
    const void* reserved44;
    /* 45 */
    int32_t (*SetCapabilityState)(struct PluginInfo* info, uint32_t bit, int32_t state,
                                  int32_t reserved);
} SystemServices;

/* Sub-table 4: files.  None of them raises.  Positions are 64-bit. */
typedef struct FileServices {
    /* 0: mode kOpenWrite (create or truncate), kOpenRead, or
     * kOpenRead | kOpenReadFlag8; 0 on failure */
    HostFile (*OpenFile)(const char* path, int32_t mode);
    /* 1 */
    void (*CloseFile)(HostFile file);
    /* 2: mode kSeekCurrent, kSeekStart or kSeekEnd; returns the position
     * before the call, or -1 when the seek fails */
    int64_t (*SeekFile)(HostFile file, int64_t offset, int32_t mode);
    /* 3: bytes read, 0 at the end, negative on error */
    int32_t (*ReadFile)(HostFile file, void* buffer, int32_t length);
    /* 4: bytes written */
    int32_t (*WriteFile)(HostFile file, const void* buffer, int32_t length);
    const void* reserved5[3];
    /* 8: prepares a source-name field of 1024 bytes */
    void (*InitSourceFileName)(char* field);
    const void* reserved9[10];
    /* 19: makes in field a file name under which OpenFile opens the data
     * that value (tag 5 when isTag5, else tag 2) describes; tag3 and tag4
     * qualify it.  0 on success. */
    int32_t (*CreateSourceFileName)(char* field, uintptr_t value, uint64_t tag3, uint64_t tag4,
                                    int32_t isTag5, int32_t reserved);
    const void* reserved20[2];
    /* 22: the last component of path; points into path */
    const char* (*FilePart)(const char* path);
    const void* reserved23[4];
    /* 27: fills info from an open file; non-zero on success */
    int32_t (*ExamineFile)(HostFile file, int32_t reserved1, StatRecord* info, int32_t reserved2);
    /* 28: releases what CreateSourceFileName made */
    void (*FreeSourceFileName)(char* field);
    const void* reserved29[5];
    /* 34: hosts 7.1 and later: writes a file name for the descriptor's
     * data into buffer (size bytes) */
    int32_t (*MakeSourceFileName)(char* buffer, int32_t size, const SourceDescriptor* source,
                                  int32_t reserved);
} FileServices;

/* Sub-table 10: the script VM, a value stack.
 *
 * Commands.  A command is called with its arguments at stack indices 1..n
 * (GetTop gives n); negative indices count from the top.  It pushes its
 * results on top and returns how many (0 or 1), or returns an error code
 * with nothing pushed; the host takes the results from the top.
 *
 * Each service is marked as lua.h marks its functions, [-o, +p, x]: it pops
 * o values, pushes p, and x says whether it raises: '-' never; 'm' only when
 * memory runs out; 'e' also on a bad argument ("bad argument #i to ...").
 * Raising unwinds with longjmp straight into the host (see "Raising"). */
typedef struct VmServices {
    int32_t (*GetTop)(VmState* vm);                    /* 0 [-0, +0, -]: values on the stack */
    void (*SetTop)(VmState* vm, int32_t index);        /* 1 [-?, +?, -]: grows with nils or cuts */
    void (*PushValue)(VmState* vm, int32_t index);     /* 2 [-0, +1, m]: a copy of index */
    const void* reserved3[7];
    int32_t (*IsNotNil)(VmState* vm, int32_t index);   /* 10 [-0, +0, -]: absent counts as nil */
    const void* reserved11[3];
    double (*ToNumber)(VmState* vm, int32_t index);    /* 14 [-0, +0, -]: 0 if not a number */
    const void* reserved15[6];
    void (*PushNumber)(VmState* vm, double value);     /* 21 [-0, +1, m] */
    void (*PushStringLen)(VmState* vm, const char* text, size_t length); /* 22 [-0, +1, m]: copied */
    void (*PushString)(VmState* vm, const char* text); /* 23 [-0, +1, m]: copied */
    void (*PushHandle)(VmState* vm, uintptr_t handle); /* 24 [-0, +1, m]: a record's address */
    const void* reserved25;
    /* 26 [-1, +1, e]: replaces the key on top by table[key] (nil if absent);
     * table is an index counted before the key was pushed */
    void (*GetTable)(VmState* vm, int32_t table);
    const void* reserved27[2];
    void (*NewTable)(VmState* vm);                     /* 29 [-0, +1, m]: an empty table */
    const void* reserved30;
    /* 31 [-2, +0, e]: table[key] = value, the value on top and the key just
     * below it; pops both */
    void (*SetTable)(VmState* vm, int32_t table);
    const void* reserved32[3];
    /* 35 [-(args+1), +results on success, -]: calls the function below the
     * args arguments.  0 with results values pushed; or, with nothing left
     * of the function and its arguments, an error code that carries the
     * callback's own error, or kErrNoMemory when memory ran out while the
     * arguments were built (nothing called).  Never raises. */
    int32_t (*CallFunction)(VmState* vm, int32_t args, int32_t results, int32_t reserved);
    const void* reserved36[9];
    /* 45 [-0, +0, e]: the string (a number is converted); length may be null.
     * The text stays valid while the value is on the stack. */
    const char* (*CheckString)(VmState* vm, int32_t index, size_t* length);
    /* 46 [-0, +0, e]: as CheckString; def when the argument is absent or nil */
    const char* (*OptString)(VmState* vm, int32_t index, const char* def, size_t* length);
    double (*CheckNumber)(VmState* vm, int32_t index);            /* 47 [-0, +0, e] */
    double (*OptNumber)(VmState* vm, int32_t index, double def);  /* 48 [-0, +0, e] */
    const void* reserved49[2];
    void (*CheckTable)(VmState* vm, int32_t index);               /* 51 [-0, +0, e] */
    void (*CheckFunction)(VmState* vm, int32_t index);            /* 52 [-0, +0, e] */
    const void* reserved53[3];
    /* 56 [-0, +0, e]: a number gives (number truncated, 0); a handle pushed
     * with PushHandle gives (0, the address it was created with), and never
     * again once the object was unregistered, even when a new object has the
     * same address.  Anything else is a bad argument. */
    void (*GetObjectId)(VmState* vm, int32_t index, ObjectId* id);
    const void* reserved57[11];
    const char* (*CheckFileName)(VmState* vm, int32_t index);     /* 68 [-0, +0, e] */
    /* 69 [-0, +0, e]: as GetObjectId; nil or an absent argument asks for an
     * automatic identifier, answered (0, any non-zero word): the plugin then
     * makes its record's address the handle and pushes it with PushHandle. */
    void (*GetNewObjectId)(VmState* vm, int32_t index, ObjectId* id);
} VmServices;

/* The table InitPlugin receives.  Word k (k >= 2) is sub-table k.  On this
 * build the C runtime (2) and zlib (12) are the C library and zlib, linked
 * directly; those words may be null.  The system table is always needed;
 * the file table by FOpen and the commands; the VM table by the commands
 * alone, so a host that only uses the adapter may leave it null.  version
 * is the one the host gives in PluginInfo.hostVersion; with revision it
 * chooses the source-name services (MakeSourceFileName from 7.1 on). */
typedef struct HostServices {
    uintptr_t version;              /* 0 */
    uintptr_t revision;             /* 1 */
    const void* cRuntime;           /* 2 */
    const SystemServices* system;   /* 3 */
    const FileServices* files;      /* 4 */
    const void* reserved5[5];       /* 5..9 */
    const VmServices* vm;           /* 10 */
    const void* reserved11;         /* 11 */
    const void* zlib;               /* 12 */
} HostServices;

/* ------------------------------------------------------ plugin records */

/* Owned by the host, filled by InitPlugin. "text" fields point to constant
 * strings inside the plugin. */
typedef struct PluginInfo {
    uint32_t capabilities;   /*  0 */
    uint32_t version;        /*  4 */
    uint32_t revision;       /*  8 */
    uint32_t hostVersion;    /* 12: the host's on entry; the lowest needed on exit */
    uint32_t hostRevision;   /* 16: lowest host revision needed */
    const char* name;        /* 20 (64-bit: 24) */
    const char* moduleName;  /* 24 (64-bit: 32) */
    const char* author;      /* 28 (64-bit: 40) */
    const char* description; /* 32 (64-bit: 48) */
    const char* legalNotice; /* 36 (64-bit: 56) */
    const char* webAddress;  /* 40 (64-bit: 64) */
    const char* date;        /* 44 (64-bit: 72) */
    uint32_t reserved48;     /* 48 (64-bit: 80) */
    const char* helpFile;    /* 52 (64-bit: 88) */
} PluginInfo;                /* 56 bytes (64-bit: 96) */

typedef void (*EntryPoint)(void); /* cast to the entry point's own type */
typedef EntryPoint (*LookupFunction)(const char* name);

#define CVX_HEADER_MAGIC "CALVORAX" /* eight bytes, stored without a zero */
enum { kPluginHeaderVersion = 1 };

typedef struct PluginHeader {
    char magic[8];          /* 0 */
    uint32_t formatVersion; /* 8: kPluginHeaderVersion */
    LookupFunction lookup;  /* 12 (64-bit: 16) */
} PluginHeader;             /* 16 bytes (64-bit: 24) */

/* A script archive; records form the list whose head RegisterObjectType
 * receives.  Allocated with Alloc (tag "arc"). */
struct zip;
typedef struct ArchiveObject {
    int32_t type;                /*  0: type id of "ZIP archive" */
    int32_t idNumber;            /*  4 */
    uintptr_t idHandle;          /*  8: 0, or the record's own address */
    uint32_t reserved12;         /* 12 (64-bit: 16) */
    struct ArchiveObject* next;  /* 16 (64-bit: 24) */
    struct zip* archive;         /* 20 (64-bit: 32): owned */
} ArchiveObject;                 /* 24 bytes (64-bit: 40) */

/* A command: returns 0 or 1, the number of results pushed, or an error
 * code with nothing pushed. */
typedef int32_t (*CommandFunction)(VmState* vm);

typedef struct CommandRecord {
    const char* name;        /* 0 */
    CommandFunction handler; /* 4 (64-bit: 8) */
} CommandRecord;             /* 8 bytes (64-bit: 16); a null row ends the table */

typedef struct ConstantRecord {
    const char* name;  /* 0 */
    uint32_t reserved; /* 4 (64-bit: 8) */
    double value;      /* 8 (64-bit: 16) */
} ConstantRecord;      /* 16 bytes (64-bit: 24); a null name ends the table */

typedef struct HelpStringRecord {
    const char* text;  /* 0 */
    uint32_t reserved; /* 4 (64-bit: 8) */
} HelpStringRecord;    /* 8 bytes (64-bit: 16); one row per command, no end row */

/* ---------------------------------------------------------- entry points
 *
 * The 24 entry points, in the order of the plugin's entry table.  This list
 * is the only place they are written out: it declares them in the plugin,
 * gives each a pointer type (FOpen -> FOpenFn), builds the entry table (a
 * function whose type drifts from its row fails to compile) and gives a host
 * its table of resolved entry points (CVX_ENTRY_FIELD).
 *
 * Contracts.  No entry point raises, and none keeps a pointer it was given
 * beyond the call, except InitPlugin (info and services, kept until the
 * plugin is unloaded).  The host makes one call at a time.
 *
 * InitPlugin(info, services): first of all.  Reads info->hostVersion, then
 *   fills every field of info whatever the host is.  Keeps nothing and
 *   registers nothing when services is null or the host version is below 6.
 *   Returns 1 (0 only for a null info); a host refuses the plugin when
 *   info->hostVersion and hostRevision, now the lowest the plugin needs, are
 *   above its own: those two fields decide, not the plugin's own version.  A
 *   second call starts over with the services it is given.
 * ClosePlugin(): last; nothing to release (FreeLibrary released the script
 *   archives; adapter files and directories are the host's to close first,
 *   as the plugin keeps no list of them).
 * RequirePlugin(vm): activates the directory, then the file capability; 0,
 *   or the first non-zero result of ActivateCapability (1 before a host was
 *   accepted), with which the host fails the script's request: no
 *   InitLibrary, no command follows.  vm is not read.
 * InitLibrary(vm): registers the object type "ZIP archive"; returns 0 (1
 *   before a host was accepted: the library is then not to be offered).
 *   Commands need it first; the adapter needs only InitPlugin: before that,
 *   FOpen, Stat and OpenDir decline.  One list of archives serves the whole
 *   process, so the plugin serves one script VM at a time.
 * FreeLibrary(vm): discards every script archive without writing it, of
 *   whichever VM; with none open (no InitLibrary before) it calls nothing.
 * GetBaseTable, GetCommands, GetConstants, GetHelpStrings: constant data
 *   inside the plugin ("zip" and the three tables), valid while it is
 *   loaded; callable at any time.
 * GetExtensions(kind): 4 for kind 2, else 0.
 *
 * The adapter.  A path it does not serve and every failure give the same
 * answer: null or 0 (FGetC and FSeek -1, FEof 1), with no message.  A null
 * path, file, dir, buffer or record is answered so too.
 * FOpen(path, mode, tags): mode must hold kOpenRead (other bits ignored; the
 *   file is read-only); tags may be null.  An AdapterFile that only FClose
 *   releases, or null.
 * FClose(file): releases everything the file holds; 1.
 * FRead(file, buffer, count): bytes copied (fewer at the end), 0 at the end,
 *   on failure or for a negative count.  FGetC: the byte 0..255, or -1.
 * FWrite, FPutC, FFlush: 0; nothing is written.
 * FSeek(file, offset, mode): kSeekStart, kSeekEnd or kSeekCurrent; returns
 *   the position before the call.  Nothing is read: any position is taken.
 * FEof(file): 1 at or past the end, else 0.
 * Stat(path, flags, record), FStat(file, flags, record): fill record and
 *   return 1, or 0.  The name points into a buffer shared by Stat, FStat and
 *   NextDirEntry, valid until the next of those calls, unless flags holds
 *   kStatFullName: then it is a block from Alloc (tag "fullpath") that the
 *   caller frees with Free.  Other flag bits are ignored.
 * OpenDir(path): a directory handle that only CloseDir releases, or null.
 *   NextDirEntry(dir, record): 1 and the next entry, or 0 when there are no
 *   more (and at every later call); the name as with Stat.
 */
#define CVX_ENTRY_POINTS(X)                                                          \
    X(InitPlugin, int32_t, (PluginInfo * info, const HostServices* services))        \
    X(ClosePlugin, void, (void))                                                     \
    X(RequirePlugin, int32_t, (VmState * vm))                                        \
    X(FOpen, void*, (const char* path, int32_t mode, const TagItem* tags))           \
    X(FClose, int32_t, (void* file))                                                 \
    X(FRead, int32_t, (void* file, void* buffer, int32_t count))                     \
    X(FGetC, int32_t, (void* file))                                                  \
    X(FWrite, int32_t, (void* file, const void* buffer, int32_t count))              \
    X(FPutC, int32_t, (void* file, int32_t c))                                       \
    X(FSeek, int64_t, (void* file, int64_t offset, int32_t mode))                    \
    X(FFlush, int32_t, (void* file))                                                 \
    X(FEof, int32_t, (void* file))                                                   \
    X(Stat, int32_t, (const char* path, int32_t flags, StatRecord* record))          \
    X(FStat, int32_t, (void* file, int32_t flags, StatRecord* record))               \
    X(OpenDir, void*, (const char* path))                                            \
    X(CloseDir, void, (void* dir))                                                   \
    X(NextDirEntry, int32_t, (void* dir, StatRecord* record))                        \
    X(GetBaseTable, const char*, (void))                                             \
    X(GetCommands, const CommandRecord*, (void))                                     \
    X(GetConstants, const ConstantRecord*, (void))                                   \
    X(GetHelpStrings, const HelpStringRecord*, (void))                               \
    X(InitLibrary, int32_t, (VmState * vm))                                          \
    X(FreeLibrary, void, (VmState * vm))                                             \
    X(GetExtensions, int32_t, (int32_t kind))

enum { kEntryPointCount = 24 };

#define CVX_ENTRY_TYPE(name, result, params) typedef result(*name##Fn) params;
CVX_ENTRY_POINTS(CVX_ENTRY_TYPE)
#undef CVX_ENTRY_TYPE

/* A host's record of resolved entry points:
 *   struct Entries { CVX_ENTRY_POINTS(CVX_ENTRY_FIELD) };  */
#define CVX_ENTRY_FIELD(name, result, params) name##Fn name;

/* Host error codes that the plugin returns as plain numbers. */
enum {
    kErrNoMemory = 1000,
    kErrShortWrite = 1005,
    kErrOpenForReading = 1045, /* SetErrorArg: the path */
    kErrOpenForWriting = 1052, /* SetErrorArg: the path */
    kErrBadValue = 1055,
    kErrUnknownAttribute = 1080
};

#ifdef __cplusplus
} /* extern "C" */
#endif

/* --------------------------------------------------- layout guarantees */

#ifdef __cplusplus
#define CVX_STATIC_ASSERT static_assert
#else
#define CVX_STATIC_ASSERT _Static_assert
#endif

#define CVX_SLOT(table, field, slot) \
    CVX_STATIC_ASSERT(offsetof(table, field) == (slot) * sizeof(void*), #table "." #field)

CVX_SLOT(HostServices, cRuntime, 2);
CVX_SLOT(HostServices, system, 3);
CVX_SLOT(HostServices, files, 4);
CVX_SLOT(HostServices, vm, 10);
CVX_SLOT(HostServices, zlib, 12);

CVX_SLOT(SystemServices, SetHostTags, 0);
CVX_SLOT(SystemServices, RegisterError, 1);
CVX_SLOT(SystemServices, SetErrorArg, 2);
CVX_SLOT(SystemServices, Alloc, 11);
CVX_SLOT(SystemServices, Free, 12);
CVX_SLOT(SystemServices, RegisterObjectType, 17);
CVX_SLOT(SystemServices, UnregisterObject, 18);
CVX_SLOT(SystemServices, GetCurrentDate, 40);
CVX_SLOT(SystemServices, ActivateCapability, 43);
CVX_SLOT(SystemServices, SetCapabilityState, 45);

CVX_SLOT(FileServices, OpenFile, 0);
CVX_SLOT(FileServices, CloseFile, 1);
CVX_SLOT(FileServices, SeekFile, 2);
CVX_SLOT(FileServices, ReadFile, 3);
CVX_SLOT(FileServices, WriteFile, 4);
CVX_SLOT(FileServices, InitSourceFileName, 8);
CVX_SLOT(FileServices, CreateSourceFileName, 19);
CVX_SLOT(FileServices, FilePart, 22);
CVX_SLOT(FileServices, ExamineFile, 27);
CVX_SLOT(FileServices, FreeSourceFileName, 28);
CVX_SLOT(FileServices, MakeSourceFileName, 34);

CVX_SLOT(VmServices, GetTop, 0);
CVX_SLOT(VmServices, SetTop, 1);
CVX_SLOT(VmServices, PushValue, 2);
CVX_SLOT(VmServices, IsNotNil, 10);
CVX_SLOT(VmServices, ToNumber, 14);
CVX_SLOT(VmServices, PushNumber, 21);
CVX_SLOT(VmServices, PushStringLen, 22);
CVX_SLOT(VmServices, PushString, 23);
CVX_SLOT(VmServices, PushHandle, 24);
CVX_SLOT(VmServices, GetTable, 26);
CVX_SLOT(VmServices, NewTable, 29);
CVX_SLOT(VmServices, SetTable, 31);
CVX_SLOT(VmServices, CallFunction, 35);
CVX_SLOT(VmServices, CheckString, 45);
CVX_SLOT(VmServices, OptString, 46);
CVX_SLOT(VmServices, CheckNumber, 47);
CVX_SLOT(VmServices, OptNumber, 48);
CVX_SLOT(VmServices, CheckTable, 51);
CVX_SLOT(VmServices, CheckFunction, 52);
CVX_SLOT(VmServices, GetObjectId, 56);
CVX_SLOT(VmServices, CheckFileName, 68);
CVX_SLOT(VmServices, GetNewObjectId, 69);

CVX_STATIC_ASSERT(sizeof(DateGroup) == 24, "DateGroup is six words");

/* Every record's layout: the host's own with 4-byte pointers, and the natural
 * one of a 64-bit build.  Every 64-bit field sits at a multiple of 8 and every
 * size is one too, so the 32-bit offsets hold where 64-bit values are aligned
 * to 8 (the host's PowerPC) and where they are aligned to 4 (32-bit x86). */
#if UINTPTR_MAX == 0xFFFFFFFFu
#define CVX_OFFSET(offset32, offset64) (offset32)
#else
#define CVX_OFFSET(offset32, offset64) (offset64)
#endif
#define CVX_AT(record, field, offset32, offset64) \
    CVX_STATIC_ASSERT(offsetof(record, field) == CVX_OFFSET(offset32, offset64), #record "." #field)
#define CVX_SIZE(record, size32, size64) \
    CVX_STATIC_ASSERT(sizeof(record) == CVX_OFFSET(size32, size64), #record " size")
CVX_AT(PluginHeader, magic, 0, 0);
CVX_AT(PluginHeader, formatVersion, 8, 8);
CVX_AT(PluginHeader, lookup, 12, 16);
CVX_SIZE(PluginHeader, 16, 24);
CVX_AT(PluginInfo, capabilities, 0, 0);
CVX_AT(PluginInfo, version, 4, 4);
CVX_AT(PluginInfo, revision, 8, 8);
CVX_AT(PluginInfo, hostVersion, 12, 12);
CVX_AT(PluginInfo, hostRevision, 16, 16);
CVX_AT(PluginInfo, name, 20, 24);
CVX_AT(PluginInfo, moduleName, 24, 32);
CVX_AT(PluginInfo, author, 28, 40);
CVX_AT(PluginInfo, description, 32, 48);
CVX_AT(PluginInfo, legalNotice, 36, 56);
CVX_AT(PluginInfo, webAddress, 40, 64);
CVX_AT(PluginInfo, date, 44, 72);
CVX_AT(PluginInfo, reserved48, 48, 80);
CVX_AT(PluginInfo, helpFile, 52, 88);
CVX_SIZE(PluginInfo, 56, 96);
CVX_AT(ObjectId, number, 0, 0);
CVX_AT(ObjectId, handle, 4, 8);
CVX_SIZE(ObjectId, 8, 16);
CVX_AT(ArchiveObject, type, 0, 0);
CVX_AT(ArchiveObject, idNumber, 4, 4);
CVX_AT(ArchiveObject, idHandle, 8, 8);
CVX_AT(ArchiveObject, reserved12, 12, 16);
CVX_AT(ArchiveObject, next, 16, 24);
CVX_AT(ArchiveObject, archive, 20, 32);
CVX_SIZE(ArchiveObject, 24, 40);
CVX_AT(StatRecord, kind, 0, 0);
CVX_AT(StatRecord, reserved4, 4, 4);
CVX_AT(StatRecord, size, 8, 8);
CVX_AT(StatRecord, reserved16, 16, 16);
CVX_AT(StatRecord, dates, 20, 20);
CVX_AT(StatRecord, dates[1], 44, 44);
CVX_AT(StatRecord, dates[2], 68, 68);
CVX_AT(StatRecord, name, 92, 96);
CVX_AT(StatRecord, reserved96, 96, 104);
CVX_AT(StatRecord, originCode, 100, 108);
CVX_AT(StatRecord, originPath, 104, 112);
CVX_AT(StatRecord, reserved108, 108, 120);
CVX_SIZE(StatRecord, 112, 128);
CVX_AT(SourceDescriptor, tag2, 0, 0);
CVX_AT(SourceDescriptor, tag5, 4, 8);
CVX_AT(SourceDescriptor, extension, 8, 16);
CVX_AT(SourceDescriptor, reserved, 12, 24);
CVX_AT(SourceDescriptor, tag3, 16, 32);
CVX_AT(SourceDescriptor, tag4, 24, 40);
CVX_SIZE(SourceDescriptor, 32, 48);
CVX_AT(CommandRecord, name, 0, 0);
CVX_AT(CommandRecord, handler, 4, 8);
CVX_SIZE(CommandRecord, 8, 16);
CVX_AT(ConstantRecord, name, 0, 0);
CVX_AT(ConstantRecord, reserved, 4, 8);
CVX_AT(ConstantRecord, value, 8, 16);
CVX_SIZE(ConstantRecord, 16, 24);
CVX_AT(HelpStringRecord, text, 0, 0);
CVX_AT(HelpStringRecord, reserved, 4, 8);
CVX_SIZE(HelpStringRecord, 8, 16);
CVX_AT(TagItem, tag, 0, 0);
CVX_AT(TagItem, value, 4, 8);
CVX_SIZE(TagItem, 8, 16);
#undef CVX_AT
#undef CVX_SIZE
#undef CVX_OFFSET

#undef CVX_SLOT

#endif /* ZIPCVX_HOST_INTERFACE_H */
