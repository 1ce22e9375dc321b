// host.Stat and host.ListDirectory, and the stat tables that they and a
// file object's :Stat give.
#include <dirent.h>
#include <lauxlib.h>
#include <lua.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host/conversions.h"
#include "host/host_state.h"
#include "host/script_tables.h"
#include "host/services.h"

namespace cvx {
namespace {

const PluginEntries& Plugin() { return H().entries; }

void SetInteger(lua_State* L, const char* key, lua_Integer value) {
    lua_pushinteger(L, value);
    lua_setfield(L, -2, key);
}

void PushDate(lua_State* L, const DateGroup& d) {
    static const char* const keys[] = {"second", "minute", "hour", "day", "month", "year"};
    const int32_t values[] = {d.second, d.minute, d.hour, d.day, d.month, d.year};
    lua_createtable(L, 0, 6);
    for (int i = 0; i < 6; ++i) SetInteger(L, keys[i], values[i]);
}

int PushAdapterStatOp(lua_State* L) {
    PushStatTable(L, *static_cast<const StatRecord*>(lua_touserdata(L, 1)), "adapter");
    return 1;
}

int HostStat(lua_State* L) {
    const char* path = luaL_checkstring(L, 1);
    const int32_t flags = StatFlags(L, 2);
    StatRecord r{};
    if (Plugin().Stat(path, flags, &r) != 0) {
        PushAdapterStat(L, r, flags);
        return 1;
    }
    // A link is reported, not followed (a path that ends in '/' goes through it).
    struct stat st {};
    if (lstat(path, &st) != 0) {
        luaL_pushfail(L);
        return 1;
    }
    PushStatTable(L, RecordFromStat(st, FileServiceTable()->FilePart(path)), "file");
    return 1;
}

// A directory's entries, gathered before any table is made: the adapter's
// listing is closed by then.
struct Listing {
    std::vector<StatRecord> records;
    std::vector<std::string> names;
    const char* source = "adapter";
};

bool ListAdapterDirectory(const char* path, Listing* listing) {
    void* dir = Plugin().OpenDir(path);
    if (dir == nullptr) return false;
    StatRecord r{};
    while (Plugin().NextDirEntry(dir, &r) != 0) {
        listing->records.push_back(r);
        listing->names.push_back(r.name != nullptr ? r.name : "");
    }
    Plugin().CloseDir(dir);
    return true;
}

// A real directory, by name: the real file system keeps no order of its own.
bool ListRealDirectory(const std::string& path, Listing* listing) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return false;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") listing->names.push_back(name);
    }
    closedir(dir);
    std::sort(listing->names.begin(), listing->names.end());
    for (const std::string& name : listing->names) {
        // Links are listed, never followed: a link to a folder above would
        // make the tree endless. An entry gone meanwhile is "other".
        struct stat st {};
        if (lstat((path + "/" + name).c_str(), &st) != 0) st = {};
        listing->records.push_back(RecordFromStat(st, nullptr));
    }
    listing->source = "file";
    return true;
}

// Runs protected: the listing's containers are in a frame below.
int PushListing(lua_State* L) {
    auto* listing = static_cast<Listing*>(lua_touserdata(L, 1));
    lua_createtable(L, static_cast<int>(listing->records.size()), 0);
    for (size_t i = 0; i < listing->records.size(); ++i) {
        listing->records[i].name = listing->names[i].c_str();
        PushStatTable(L, listing->records[i], listing->source);
        lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
    }
    return 1;
}

// Pushes the listing's table, or fail; a Lua status. The tables are made
// under a protected call whose error the caller raises again once the
// containers here are gone.
int ListDirectory(lua_State* L, const char* path) {
    Listing listing;
    if (!ListAdapterDirectory(path, &listing) && !ListRealDirectory(path, &listing)) {
        luaL_pushfail(L);
        return LUA_OK;
    }
    lua_pushcfunction(L, PushListing);
    lua_pushlightuserdata(L, &listing);
    return lua_pcall(L, 1, 1, 0);
}

int HostListDirectory(lua_State* L) {
    if (ListDirectory(L, luaL_checkstring(L, 1)) != LUA_OK) return lua_error(L);
    return 1;
}

}  // namespace

void PushStatTable(lua_State* L, const StatRecord& r, const char* source) {
    lua_createtable(L, 0, 9);
    static const char* const kinds[] = {"file", "directory", "link", "other"};
    lua_pushstring(L, kinds[r.kind >= 0 && r.kind < kKindOther ? r.kind : kKindOther]);
    lua_setfield(L, -2, "kind");
    SetInteger(L, "size", r.size);
    lua_pushstring(L, r.name != nullptr ? r.name : "");
    lua_setfield(L, -2, "name");
    lua_createtable(L, 3, 0);
    for (int i = 0; i < 3; ++i) {
        PushDate(L, r.dates[i]);
        lua_rawseti(L, -2, i + 1);
    }
    lua_setfield(L, -2, "dates");
    const DateGroup& d = r.dates[0];
    char time[64];
    snprintf(time, sizeof time, "%d-%02d-%02d %02d:%02d:%02d", d.year, d.month + 1, d.day, d.hour,
             d.minute, d.second);
    lua_pushstring(L, time);
    lua_setfield(L, -2, "time");
    lua_pushstring(L, source);
    lua_setfield(L, -2, "source");
    if (r.originCode != 0) SetInteger(L, "origin", r.originCode);
    if (r.originPath != nullptr) {
        lua_pushstring(L, r.originPath);
        lua_setfield(L, -2, "originpath");
    }
}

// The table is made under a protected call whose error is raised again once
// the block is freed.
void PushAdapterStat(lua_State* L, const StatRecord& r, int32_t flags) {
    lua_pushcfunction(L, PushAdapterStatOp);
    lua_pushlightuserdata(L, const_cast<StatRecord*>(&r));
    const int status = lua_pcall(L, 1, 1, 0);
    if ((flags & kStatFullName) != 0) H().AdoptBlock(const_cast<char*>(r.name));
    if (status != LUA_OK) lua_error(L);
}

int32_t StatFlags(lua_State* L, int options) {
    if (lua_type(L, options) != LUA_TTABLE) return 0;
    lua_getfield(L, options, "fullname");
    const int32_t flags = lua_toboolean(L, -1) ? kStatFullName : 0;
    lua_pop(L, 1);
    return flags;
}

void AddStatFunctions(lua_State* L) {
    static const luaL_Reg functions[] = {
        {"Stat", HostStat}, {"ListDirectory", HostListDirectory}, {nullptr, nullptr}};
    luaL_setfuncs(L, functions, 0);
}

}  // namespace cvx
