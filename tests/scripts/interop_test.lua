-- Archives written, changed and checked by unzip, 7-Zip, bsdtar and python3.
local T = require("testlib")
local Z = require("zip_tools")

local dir = T.tmpdir()
local archive = dir .. "/round.zip"
local TEXT = string.rep("Sphinx of black quartz, judge my vow. ", 300)
local BINARY = ("\0\r\n\26\127\128\255 binary "):rep(300)

-- name, contents, zip.AddFile options (with the password "pw"), the time python3 reads back
local ENTRIES = {
    {"plain.txt", TEXT, {comment = "deflated"}, "14-Jul-2019 10:20:30"},
    {"stored.bin", BINARY, {compression = ZIP_CM_STORE, time = "01-Jan-2017 12:00:00"}, "01-Jan-2017 12:00:00"},
    {"bzip2.txt", TEXT, {compression = ZIP_CM_BZIP2, compressionflags = 9}, "14-Jul-2019 10:20:30"},
    {"secret/aes128.txt", TEXT, {encryption = ZIP_EM_AES_128}},
    {"secret/aes192.txt", TEXT, {encryption = ZIP_EM_AES_192, time = "31-Dec-1999 23:59:59"}, "31-Dec-1999 23:59:58"},
    {"secret/aes256.txt", BINARY, {encryption = ZIP_EM_AES_256, compression = ZIP_CM_STORE}},
    {"secret/trad.txt", TEXT, {encryption = ZIP_EM_TRAD_PKWARE, time = "05-Mar-2017 09:07:04"}, "05-Mar-2017 09:07:04"},
    {"Grüße/ñandú €.txt", "non-ASCII name\n", {comment = "ünïcödé comment"}},
    {"empty.txt", "", {}},
}

-- Every reader agrees on the contents (name -> data); encrypted entries refuse a wrong password.
local function check_with_every_tool(contents)
    Z.unzip_test(archive, "pw", "secret/aes*")
    local output, ok = T.run("7zz t -bso1 -bse1 -bsp0 -ppw " .. T.quote(archive))
    assert(ok and output:find("Everything is Ok", 1, true), "7zz t:\n" .. output)
    local folder = Z.sevenzip_extract(archive, "pw")
    local listing = T.run("bsdtar -tvf " .. T.quote(archive))
    local facts, count = Z.facts(archive, "pw"), 0
    for name, data in pairs(contents) do
        count = count + 1
        assert(listing:find(name, 1, true), "bsdtar lists " .. name .. ":\n" .. listing)
        if name:sub(-1) == "/" then
            assert(select(2, T.run("test -d " .. T.quote(folder .. "/" .. name))), name)
        else
            T.eq(T.read(folder .. "/" .. name) == data, true, "7-Zip's " .. name)
            T.eq(facts[name].size, #data, "size of " .. name)
            T.eq(facts[name].data == (not name:find("aes") and data or nil), true, "python3's " .. name)
        end
        if name:find("secret/") then
            output, ok = T.run(("7zz t -bso1 -bse1 -bsp0 -pwrong %s %s"):format(T.quote(archive), T.quote(name)))
            assert(not ok and output:find("Wrong password", 1, true), "7zz, a wrong password:\n" .. output)
        end
    end
    -- One wrong password in 256 passes traditional encryption's check byte; inflating fails.
    output, ok = T.run(("unzip -t -P wrong %s secret/trad.txt"):format(T.quote(archive)))
    assert(not ok, "unzip with a wrong password:\n" .. output)
    T.eq(#facts.entries, count, "entries")
    return facts
end

local tests = {}

function tests.a_round_trip()
    zip.OpenArchive(1, archive, 1006)
    local contents = {["docs/"] = true}
    for i, e in ipairs(ENTRIES) do
        local source = T.write(("%s/source%d"):format(dir, i), e[2], "2019-07-14 10:20:30")
        e[3].newname, e[3].password = e[1], "pw"
        T.eq(zip.AddFile(1, source, e[3]), i - 1, e[1])
        contents[e[1]] = e[2]
    end
    zip.AddDirectory(1, "docs")
    zip.SetFileComment(1, "round trip ✓")
    zip.CloseArchive(1)

    local created = check_with_every_tool(contents)
    T.eq(created.comment, "round trip ✓", "archive comment")
    for _, e in ipairs(ENTRIES) do
        T.fields(created[e[1]], {comment = e[3].comment or "", time = e[4], encrypted = e[3].encryption ~= nil,
                                 utf8 = e[1]:find("[\128-\255]") ~= nil}, e[1])
    end
    T.eq(created["secret/aes192.txt"].aes .. created["bzip2.txt"].method .. created["stored.bin"].method,
         "2" .. ZIP_CM_BZIP2 .. ZIP_CM_STORE, "AES-192, bzip2, stored")

    zip.OpenArchive(1, archive, 1004)
    zip.DeleteFile(1, 2)                                   -- bzip2.txt
    zip.RenameFile(1, 0, "renamed.txt")                    -- plain.txt
    zip.SetFileCompression(1, 1, ZIP_CM_DEFLATE, 9)        -- stored.bin
    zip.SetDefaultPassword(1, "pw")
    zip.SetFileEncryption(1, 3, ZIP_EM_AES_256, "pw")      -- secret/aes128.txt
    zip.SetFileComment(1, "now with a comment", 8)         -- empty.txt
    zip.SetFileTime(1, 8, "24-Dec-2020 18:30:00")
    zip.SetFileComment(1, "changed")
    T.eq(zip.AddFile(1, dir .. "/source1", {newname = "added.txt"}), 10, "appended")
    zip.CloseArchive(1)

    contents["bzip2.txt"] = nil
    contents["renamed.txt"], contents["plain.txt"] = contents["plain.txt"], nil
    contents["added.txt"] = TEXT
    local changed = check_with_every_tool(contents)
    T.eq(changed.comment, "changed", "archive comment")
    for _, name in ipairs({"secret/aes192.txt", "secret/aes256.txt", "secret/trad.txt",
                           "Grüße/ñandú €.txt", "docs/"}) do
        for _, key in ipairs({"raw", "crc", "csize", "time", "comment", "method", "utf8"}) do
            T.eq(changed[name][key], created[name][key], name .. " kept its " .. key)
        end
    end
    T.eq(changed["renamed.txt"].raw, created["plain.txt"].raw, "a renamed entry keeps its bytes")
    T.fields(changed["stored.bin"], {method = ZIP_CM_DEFLATE, crc = created["stored.bin"].crc}, "recompressed")
    T.eq(changed["secret/aes128.txt"].aes, 3, "re-encrypted")
    T.fields(changed["empty.txt"], {comment = "now with a comment", time = "24-Dec-2020 18:30:00"}, "empty.txt")
end

-- Info-ZIP, bsdtar and 7-Zip store extended timestamps (0x5455, 0x000a),
-- which readers show in place of the header's time: a new time drops them.
function tests.a_new_time_is_what_every_tool_shows()
    local folder = T.files({["a.txt"] = "dated\n"}, "touch -d '2018-06-01 08:00:00' a.txt && " ..
        "zip -q info.zip a.txt && bsdtar --format zip -cf tar.zip a.txt && 7zz a -tzip -bso0 7z.zip a.txt")
    for _, name in ipairs({"info.zip", "tar.zip", "7z.zip"}) do
        local path = folder .. "/" .. name
        zip.OpenArchive(1, path, 1004)
        zip.SetFileTime(1, 0, "01-Jan-2017 12:00:00")
        zip.CloseArchive(1)
        for command, shown in pairs({["unzip -l"] = "2017-01-01 12:00", ["7zz l"] = "2017-01-01 12:00:00",
                                     ["bsdtar -tvf"] = "Jan  1  2017"}) do
            local listing = T.run(command .. " " .. T.quote(path))
            assert(listing:find(shown, 1, true), name .. ", " .. command .. ":\n" .. listing)
        end
        T.eq(Z.facts(path).entries[1].data, "dated\n", name .. ": data")
    end
end

T.suite(tests)
