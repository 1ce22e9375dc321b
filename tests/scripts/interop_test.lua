-- Archives written here, read back by tools that no one here wrote: Info-ZIP
-- unzip, 7-Zip, bsdtar and python3's zipfile. A round trip: created (mode
-- 1006), changed (1004), read (1005); entries that a change leaves alone
-- keep their stored bytes.
local T = require("testlib")
local Z = require("zip_tools")

local dir = T.tmpdir()
local archive = dir .. "/round.zip"
local TEXT = string.rep("Sphinx of black quartz, judge my vow. ", 300)
local bytes = {}
for i = 0, 4095 do bytes[#bytes + 1] = string.char((i * 7) % 256) end
local BINARY = table.concat(bytes)

-- name, contents, zip.AddFile options, the time that python3 reads back
local ENTRIES = {
    {"plain.txt", TEXT, {comment = "deflated"}, "14-Jul-2019 10:20:30"},
    {"stored.bin", BINARY, {compression = ZIP_CM_STORE, time = "01-Jan-2017 12:00:00"},
     "01-Jan-2017 12:00:00"},
    {"bzip2.txt", TEXT, {compression = ZIP_CM_BZIP2, compressionflags = 9}, "14-Jul-2019 10:20:30"},
    {"secret/aes128.txt", TEXT, {encryption = ZIP_EM_AES_128, password = "pw"}},
    {"secret/aes192.txt", TEXT, {encryption = ZIP_EM_AES_192, password = "pw",
                                 time = "31-Dec-1999 23:59:59"}, "31-Dec-1999 23:59:58"},
    {"secret/aes256.txt", BINARY, {encryption = ZIP_EM_AES_256, password = "pw",
                                   compression = ZIP_CM_STORE}},
    {"secret/trad.txt", TEXT, {encryption = ZIP_EM_TRAD_PKWARE, password = "pw",
                               time = "05-Mar-2017 09:07:04"}, "05-Mar-2017 09:07:04"},
    {"Grüße/ñandú €.txt", "non-ASCII name\n", {comment = "ünïcödé comment"}},
    {"empty.txt", "", {}},
}
local ENCRYPTED = {"secret/aes128.txt", "secret/aes192.txt", "secret/aes256.txt",
                   "secret/trad.txt"}

local function source(i)
    return Z.file(("%s/source%d"):format(dir, i), ENTRIES[i][2], "2019-07-14 10:20:30")
end

local function count(id)
    return host.GetAttribute(zip.GetObjectType(), id, ZIPATTRNUMENTRIES)
end

-- Every reader agrees on what the archive holds (contents: name -> data;
-- encrypted ones with password).
local function check_with_every_tool(contents, password)
    local output, ok = Z.unzip_test(archive, password, "secret/aes*")
    assert(ok and output:find("No errors detected", 1, true), "unzip -t:\n" .. output)
    output, ok = Z.sevenzip_test(archive, password)
    assert(ok and output:find("Everything is Ok", 1, true), "7zz t:\n" .. output)
    local folder = Z.sevenzip_extract(archive, password)
    local listing
    listing, ok = Z.bsdtar_list(archive)
    assert(ok, "bsdtar:\n" .. listing)
    local facts = Z.facts(archive, password)
    for name, data in pairs(contents) do
        if name:sub(-1) == "/" then
            assert(select(2, T.run("test -d " .. Z.quote(folder .. "/" .. name))), name)
        else
            T.eq(T.read(folder .. "/" .. name) == data, true, "7-Zip's " .. name)
            local entry = Z.entry(facts, name)
            T.eq(entry.size, #data, "size of " .. name)
            if not name:find("aes") then
                T.eq(entry.data == data, true, "python3's " .. name .. " (CRC checked)")
                local printed = Z.unzip_print(archive, name, password)
                T.eq(printed == data, true, "unzip -p " .. name)
            end
        end
        assert(listing:find(name, 1, true), "bsdtar lists " .. name .. ":\n" .. listing)
    end
    T.eq(#facts.entries, (function()
        local n = 0
        for _ in pairs(contents) do n = n + 1 end
        return n
    end)(), "entries")
    return facts
end

-- Each encrypted entry refuses a wrong password, in every tool that reads it.
local function check_wrong_password(names)
    for _, name in ipairs(names) do
        local output, ok = T.run(("7zz t -bso1 -bse1 -bsp0 -pwrong %s %s")
                                 :format(Z.quote(archive), Z.quote(name)))
        assert(not ok and output:find("Wrong password", 1, true), "7zz with a wrong password:\n" .. output)
        if not name:find("aes") then
            output = Z.unzip_test(archive, "wrong", nil)
            assert(output:find("incorrect password", 1, true), "unzip with a wrong password")
        end
    end
end

local tests = {}

function tests.a_round_trip()
    -- Created.
    zip.OpenArchive(1, archive, 1006)
    local contents = {["docs/"] = true}
    for i, e in ipairs(ENTRIES) do
        T.eq(zip.AddFile(1, source(i), {newname = e[1], encryption = e[3].encryption,
                                        password = e[3].password, compression = e[3].compression,
                                        compressionflags = e[3].compressionflags,
                                        comment = e[3].comment, time = e[3].time}), i - 1, e[1])
        contents[e[1]] = e[2]
    end
    zip.AddDirectory(1, "docs")
    zip.SetFileComment(1, "round trip ✓")
    zip.CloseArchive(1)

    local created = check_with_every_tool(contents, "pw")
    check_wrong_password(ENCRYPTED)
    T.eq(created.comment, "round trip ✓", "archive comment")
    for _, e in ipairs(ENTRIES) do
        local entry = Z.entry(created, e[1])
        T.eq(entry.comment, e[3].comment or "", e[1] .. " comment")
        if e[4] then T.eq(entry.time, e[4], e[1] .. " time") end
        T.eq(entry.encrypted, e[3].encryption ~= nil, e[1] .. " encrypted")
        T.eq(entry.utf8, e[1]:find("[\128-\255]") ~= nil, e[1] .. " UTF-8 flag")
    end
    T.eq(Z.entry(created, "secret/aes192.txt").aes, 2, "AES-192")
    T.eq(Z.entry(created, "bzip2.txt").method, 12, "bzip2")
    T.eq(Z.entry(created, "stored.bin").method, ZIP_CM_STORE, "stored")

    -- Changed.
    zip.OpenArchive(1, archive, 1004)
    zip.DeleteFile(1, 2)                                   -- bzip2.txt
    zip.RenameFile(1, 0, "renamed.txt")                    -- plain.txt
    zip.SetFileCompression(1, 1, ZIP_CM_DEFLATE, 9)        -- stored.bin
    zip.SetDefaultPassword(1, "pw")
    zip.SetFileEncryption(1, 3, ZIP_EM_AES_256, "pw")      -- secret/aes128.txt
    zip.SetFileComment(1, "now with a comment", 8)         -- empty.txt
    zip.SetFileTime(1, 8, "24-Dec-2020 18:30:00")
    zip.SetFileComment(1, "changed")
    T.eq(zip.AddFile(1, source(1), {newname = "added.txt"}), 10, "appended")
    zip.CloseArchive(1)

    contents["bzip2.txt"] = nil
    contents["renamed.txt"], contents["plain.txt"] = contents["plain.txt"], nil
    contents["added.txt"] = TEXT
    local changed = check_with_every_tool(contents, "pw")
    check_wrong_password(ENCRYPTED)
    T.eq(changed.comment, "changed", "archive comment")
    local untouched = {"secret/aes192.txt", "secret/aes256.txt", "secret/trad.txt",
                       "Grüße/ñandú €.txt", "docs/"}
    for _, name in ipairs(untouched) do
        local before, after = Z.entry(created, name), Z.entry(changed, name)
        for _, key in ipairs({"raw", "crc", "csize", "time", "comment", "method", "utf8"}) do
            T.eq(after[key], before[key], name .. " " .. key .. " kept")
        end
    end
    T.eq(Z.entry(changed, "renamed.txt").raw, Z.entry(created, "plain.txt").raw,
         "a renamed entry keeps its bytes")
    T.eq(Z.entry(changed, "stored.bin").method, ZIP_CM_DEFLATE, "recompressed")
    T.eq(Z.entry(changed, "stored.bin").crc, Z.entry(created, "stored.bin").crc, "same CRC")
    T.eq(Z.entry(changed, "secret/aes128.txt").aes, 3, "re-encrypted")
    T.eq(Z.entry(changed, "empty.txt").comment, "now with a comment", "entry comment")
    T.eq(Z.entry(changed, "empty.txt").time, "24-Dec-2020 18:30:00", "entry time")

    -- Read.
    zip.OpenArchive(1, archive)
    T.eq(count(1), 10, "entries")
    T.eq(zip.GetFileComment(1), "changed", "archive comment")
    T.eq(zip.GetFileComment(1, 6), "ünïcödé comment", "entry comment")
    zip.CloseArchive(1)
end

T.suite(tests)
