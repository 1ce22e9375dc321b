-- The entry editing commands on archives made by Info-ZIP and on new entries.
local T = require("testlib")
local Z = require("zip_tools")

local TEXT = string.rep("Pack my box with five dozen liquor jugs. ", 100)
local DATE = "2018-06-01 08:00:00"
local NEW_TIME = "01-Jan-2017 12:00:00"
local ERR = T.ZIP_ERROR

-- Info-ZIP's archive of a.txt, b.txt and dir/ (extra: zip options), opened under 1 if asked.
local function infozip(extra, open)
    local archive = T.files({["a.txt"] = TEXT, ["b.txt"] = "bee\n"},
        ("mkdir dir && touch -d '%s' a.txt b.txt dir && zip -q -X %s archive.zip a.txt b.txt dir")
        :format(DATE, extra or "")) .. "/archive.zip"
    if open then zip.OpenArchive(1, archive, 1004) end
    return archive
end

local function new_file(name, data)
    return T.write(T.tmpdir() .. "/" .. name, data or TEXT, DATE)
end

-- A change of every kind to archive 1.
local function every_change()
    return {
        {zip.AddFile, 1, new_file("c.txt"), {comment = "c", password = "p", time = NEW_TIME}},
        {zip.AddDirectory, 1, "docs"}, {zip.DeleteFile, 1, 1}, {zip.RenameFile, 1, 0, "renamed.txt"},
        {zip.SetFileEncryption, 1, 0, ZIP_EM_AES_128, "pw"}, {zip.SetFileCompression, 1, 0, ZIP_CM_STORE},
        {zip.SetFileComment, 1, "entry comment", 0}, {zip.SetFileComment, 1, "archive comment"},
        {zip.SetFileTime, 1, 0, NEW_TIME},
    }
end

local tests = {}

function tests.comments_of_the_archive_and_its_entries()
    local archive = infozip(nil, true)
    for _, index in ipairs({-1, 3, -7}) do T.eq(zip.GetFileComment(1, index), "", "comment at " .. index) end
    zip.SetFileComment(1, "archive", -1)
    zip.SetFileComment(1, "first", 0)
    zip.SetFileComment(1, "also first", -0.5)  -- entry 0
    zip.SetFileComment(1, "\255\254 not UTF-8", 1)
    T.raises(ERR, zip.SetFileComment, 1, "\255\254 not UTF-8")
    local limit = string.rep("x", 65535)
    zip.SetFileComment(1, limit, 2)
    T.raises(1055, zip.SetFileComment, 1, limit .. "x", 2)
    T.raises(1055, zip.SetFileComment, 1, limit .. "x")
    T.raises(ERR, zip.SetFileComment, 1, "no such entry", 3)
    T.eq(zip.GetFileComment(1, 2), limit, "65535 bytes, kept after 65536")
    T.eq(zip.GetFileComment(1), "archive", "-1 is the archive; refused comments change nothing")
    zip.CloseArchive(1)
    local facts = Z.facts(archive)
    for name, comment in pairs({["a.txt"] = "also first", ["b.txt"] = "\255\254 not UTF-8", ["dir/"] = limit}) do
        T.eq(facts[name].comment, comment, name)
    end
    T.eq(facts.comment, "archive", "written archive comment")

    zip.OpenArchive(1, archive, 1004)
    zip.SetFileComment(1, "", 0)
    zip.SetFileComment(1)  -- the identifier alone removes the archive comment
    T.eq(zip.GetFileComment(1), "", "a removed archive comment, before writing")
    zip.SetFileComment(1, "again")
    zip.SetFileComment(1, "")  -- so does an empty string
    zip.CloseArchive(1)
    facts = Z.facts(archive)
    T.eq(facts.comment .. facts["a.txt"].comment, "", "empty comments remove the old ones")
end

function tests.deleting_and_renaming()
    local archive = infozip(nil, true)
    zip.DeleteFile(1, 1.9)
    for _, call in ipairs({{zip.DeleteFile, 1, 1}, {zip.DeleteFile, 1, 3}, {zip.DeleteFile, 1, -1},
                           {zip.SetFileComment, 1, "deleted", 1}, {zip.SetFileTime, 1, 1, NEW_TIME},
                           {zip.RenameFile, 1, 1, "c.txt"}, {zip.RenameFile, 1, 3, "c.txt"},
                           {zip.SetFileEncryption, 1, 3, ZIP_EM_AES_128, "pw"}, {zip.SetFileEncryption, 1, 0, 0x6601}}) do
        T.raises(ERR, table.unpack(call))
    end
    T.eq(zip.GetFileComment(1, 1), "", "a deleted entry has no comment")
    zip.RenameFile(1, 0, "a.txt")
    for _, c in ipairs({{0, "dir/"}, {0, "a.txt/"}, {0, ""}, {2, "dir"}}) do T.raises(ERR, zip.RenameFile, 1, c[1], c[2]) end
    T.raises(1055, zip.RenameFile, 1, 0, "cut\0short")
    zip.RenameFile(1, 0, "docs/Bücher.txt")
    zip.RenameFile(1, 2, "folder/")
    T.eq(zip.LocateFile(1, "docs/Bücher.txt"), 0, "the new name is found")
    T.eq(zip.LocateFile(1, "a.txt") + zip.LocateFile(1, "dir/"), -2, "the old names are gone")
    -- libzip would write an entry without a name.
    T.raises(ERR, zip.AddFile, 1, new_file("c.txt"), {newname = "", comment = "not added"})
    T.raises(ERR, zip.AddDirectory, 1, "")
    T.eq(T.count(1) .. " " .. host.OpenFiles(), "3 0", "nothing added, no file left open")
    zip.CloseArchive(1)
    local facts = Z.facts(archive)
    T.eq(facts.names, "docs/Bücher.txt,folder/", "names")
    T.fields(facts["docs/Bücher.txt"], {utf8 = true, data = TEXT}, "renamed")
end

-- Back to an entry's stored method with another change pending, libzip would write the
-- earlier method over data copied as stored: deflate can be restored, others are refused.
function tests.compression()
    local archive = infozip(nil, true)
    T.eq(zip.GetFileAttributes(1, 1).compression, ZIP_CM_STORE, "Info-ZIP stores b.txt")
    local raw = Z.facts(archive)["a.txt"].raw
    zip.RenameFile(1, 0, "renamed.txt")
    zip.SetFileCompression(1, 0, ZIP_CM_STORE)
    zip.SetFileCompression(1, 0, ZIP_CM_DEFLATE)
    zip.SetFileComment(1, "commented", 1)
    zip.SetFileCompression(1, 1, ZIP_CM_DEFLATE)
    T.raises(ERR, zip.SetFileCompression, 1, 1, ZIP_CM_STORE)
    local new = zip.AddFile(1, new_file("new.txt"), {compression = ZIP_CM_STORE})
    zip.SetFileCompression(1, new, ZIP_CM_BZIP2, 9)
    for _, call in ipairs({{new, ZIP_CM_DEFLATE, 10}, {new, ZIP_CM_DEFLATE, -1}, {new, 6}, {9, ZIP_CM_STORE}}) do
        T.raises(ERR, zip.SetFileCompression, 1, table.unpack(call))  -- 6: implode has no encoder
    end
    -- A new entry has no stored method: back to the default, it is deflated.
    new = zip.AddFile(1, new_file("default.txt"), {compression = ZIP_CM_STORE})
    zip.SetFileCompression(1, new, ZIP_CM_DEFAULT)
    zip.CloseArchive(1)
    local facts = Z.facts(archive)  -- reading checks each CRC
    T.fields(facts["renamed.txt"], {method = ZIP_CM_DEFLATE, raw = raw, data = TEXT}, "copied as it was")
    T.fields(facts["b.txt"], {method = ZIP_CM_DEFLATE, data = "bee\n"}, "b.txt: the refusal kept deflate")
    T.fields(facts["new.txt"], {method = ZIP_CM_BZIP2, data = TEXT}, "new.txt: refusals keep the last")
    T.eq(facts["default.txt"].method, ZIP_CM_DEFLATE, "default.txt")
end

-- No encryption after an earlier setting: libzip would keep the method set
-- before (failing the whole write, encrypting with the default password, or
-- writing a header that claims AES over plain data). The default password
-- still applies to entries encrypted without their own.
function tests.encryption_off_after_an_earlier_setting()
    local new = new_file("new.txt")
    local archive
    for _, default in ipairs({false, "default"}) do
        archive = infozip()
        zip.OpenArchive(1, archive, 1004)
        zip.SetDefaultPassword(1, "earlier")
        zip.SetDefaultPassword(1, default or "")  -- an empty one removes it
        local first = zip.AddFile(1, new, {encryption = ZIP_EM_AES_256, password = "pw"})
        zip.SetFileEncryption(1, first, ZIP_EM_NONE)
        local second = zip.AddFile(1, new, {newname = "second.txt", encryption = ZIP_EM_AES_128,
                                            password = "pw"})
        zip.SetFileEncryption(1, second, ZIP_EM_NONE, "")
        zip.SetFileEncryption(1, 0, ZIP_EM_AES_128, "pw")
        zip.RenameFile(1, 0, "renamed.txt")
        zip.SetFileEncryption(1, 0, ZIP_EM_NONE)
        -- libzip overwrites an entry's earlier password without freeing it
        -- unless the method is set without one first.
        zip.SetFileEncryption(1, 1, ZIP_EM_AES_256, "first")
        zip.SetFileEncryption(1, 1, ZIP_EM_AES_256, "own")
        zip.SetFileEncryption(1, 1, ZIP_EM_AES_192)  -- the default password, if any
        if not default then
            T.raises(ERR, zip.CloseArchive, 1)  -- b.txt has no password
        else
            zip.CloseArchive(1)
            Z.unzip_test(archive, nil, "b.txt")
            local facts = Z.facts(archive)
            for _, name in ipairs({"new.txt", "second.txt", "renamed.txt"}) do
                T.fields(facts[name], {encrypted = false, data = TEXT}, name)
            end
            T.eq(facts["b.txt"].aes, 2, "b.txt")
            T.eq(Z.sevenzip_extract(archive, default, "b.txt"), "bee\n", "b.txt, the default password")
        end
    end
    -- Decrypting takes the default password; a wrong one fails the write.
    -- (Not on the 7-Zip entry below: libzip takes the AE-2 form, which has
    -- no CRC, for a CRC error when it reads the whole entry.)
    for _, password in ipairs({"wrong", "default"}) do
        zip.OpenArchive(1, archive, 1004)
        zip.SetDefaultPassword(1, password)
        zip.SetFileEncryption(1, 1, ZIP_EM_AES_128)
        zip.SetFileEncryption(1, 1, ZIP_EM_NONE)
        if password == "wrong" then T.raises(ERR, zip.CloseArchive, 1) end
    end
    zip.CloseArchive(1)
    T.eq(Z.facts(archive)["b.txt"].data, "bee\n", "decrypted with the default password")

    -- An AES entry of the archive file, back to AES, is copied as it is.
    archive = T.files({["a.txt"] = TEXT}, "7zz a -bd -tzip -mem=AES256 -pSecret aes.zip a.txt >/dev/null")
              .. "/aes.zip"
    local raw = Z.facts(archive)["a.txt"].raw
    zip.OpenArchive(1, archive, 1004)
    zip.SetFileEncryption(1, 0, ZIP_EM_NONE)
    zip.RenameFile(1, 0, "renamed.txt")
    zip.SetFileEncryption(1, 0, ZIP_EM_AES_256)
    zip.CloseArchive(1)
    T.fields(Z.facts(archive)["renamed.txt"], {aes = 3, raw = raw}, "AES-256 copied as it was")
    T.eq(Z.sevenzip_extract(archive, "Secret", "renamed.txt"), TEXT, "7-Zip reads it")
end

-- A traditionally encrypted entry's password check depends on its stored time: no new one.
function tests.traditionally_encrypted_entries_keep_their_stored_time()
    local ours = T.tmpdir() .. "/ours.zip"
    zip.OpenArchive(1, ours, 1006)
    zip.SetDefaultPassword(1, "pw")
    zip.AddFile(1, new_file("a.txt"), {encryption = ZIP_EM_TRAD_PKWARE})
    zip.AddFile(1, new_file("b.txt", "bee\n"), {encryption = ZIP_EM_TRAD_PKWARE})
    zip.CloseArchive(1)
    for _, archive in ipairs({infozip("-P pw"), ours}) do
        local stored = Z.facts(archive, "pw")["a.txt"].time
        zip.OpenArchive(1, archive, 1004)
        zip.SetDefaultPassword(1, "pw")
        T.raises(ERR, zip.SetFileTime, 1, 0, NEW_TIME)
        zip.SetFileComment(1, "renamed", 0)
        zip.RenameFile(1, 0, "renamed.txt")
        -- Written anew, still with the password check from the stored time.
        zip.SetFileCompression(1, 1, ZIP_CM_STORE)
        T.raises(ERR, zip.SetFileTime, 1, 1, NEW_TIME)
        zip.SetFileCompression(1, 1, ZIP_CM_DEFLATE)
        zip.SetFileEncryption(1, 1, 65536 + ZIP_EM_TRAD_PKWARE, "new password")
        T.raises(ERR, zip.SetFileTime, 1, 1, NEW_TIME)
        -- Encrypted otherwise, it takes a new time.
        zip.SetFileEncryption(1, 1, ZIP_EM_AES_256, "new password")
        zip.SetFileTime(1, 1, NEW_TIME)
        T.raises(ERR, zip.SetFileEncryption, 1, 1, ZIP_EM_TRAD_PKWARE, "pw")
        zip.CloseArchive(1)

        Z.unzip_test(archive, "pw", "b.txt")
        local facts = Z.facts(archive, "pw")
        T.fields(facts["renamed.txt"], {time = stored, data = TEXT}, archive .. " renamed.txt")
        T.eq(facts["b.txt"].time, NEW_TIME, "re-encrypted and re-dated")
        T.eq(Z.sevenzip_extract(archive, "new password", "b.txt"), "bee\n", "b.txt")
    end
end

-- New times; a re-dated entry of the archive file gets no traditional encryption.
function tests.times_and_traditional_encryption_after_a_new_time()
    local archive, file = infozip(nil, true), new_file("new.txt")
    zip.SetDefaultPassword(1, "pw")
    zip.SetFileTime(1, 0, NEW_TIME)
    if pcall(os.time, {year = 2107, month = 12, day = 31}) then  -- beyond 32-bit time values
        zip.SetFileTime(1, 2, "31-Dec-2107 23:59:58")
    end
    zip.SetFileTime(1, 2, "01-Jan-1980 00:00:00")
    zip.SetFileTime(1, 2, "31-feb-2017 12:00:03")
    -- Years the format cannot hold (libzip would write 2200 as 2072, 1979 as 1980).
    for _, date in ipairs({"01-Jan-2200 12:00:00", "15-Jun-1979 12:00:00", "01-Jan-1980 -1:00:00",
                           "01-Jan-2108 00:00:00"}) do
        T.raises(1055, zip.SetFileTime, 1, 0, date)
    end
    T.raises(1055, zip.SetDefaultPassword, 1, "p\0w")  -- a zero byte would cut it short
    T.raises(1055, zip.SetFileEncryption, 1, 0, ZIP_EM_AES_128, "p\0w")
    for _, index in ipairs({3, -1}) do T.raises(ERR, zip.SetFileTime, 1, index, NEW_TIME) end
    T.eq(zip.GetFileAttributes(1, 0).time, NEW_TIME, "pending time of a.txt")
    T.raises(ERR, zip.SetFileEncryption, 1, 0, ZIP_EM_TRAD_PKWARE)
    zip.SetFileEncryption(1, 0, ZIP_EM_AES_128)
    zip.SetFileEncryption(1, 1, ZIP_EM_TRAD_PKWARE)  -- not re-dated
    local first = zip.AddFile(1, file, {newname = "first.txt", time = "02-Jan-2017 12:00:00"})
    zip.SetFileEncryption(1, first, ZIP_EM_TRAD_PKWARE)
    local second = zip.AddFile(1, file, {newname = "second.txt", encryption = ZIP_EM_TRAD_PKWARE})
    zip.SetFileTime(1, second, "03-Jan-2017 12:00:00")
    local third = zip.AddFile(1, file, {newname = "third.txt", encryption = ZIP_EM_TRAD_PKWARE,
                                        time = "04-Jan-2017 12:00:00"})
    zip.SetFileTime(1, third, "05-Jan-2017 12:00:00")
    zip.CloseArchive(1)
    Z.unzip_test(archive, "pw", "a.txt")
    local facts = Z.facts(archive, "pw")
    for name, time in pairs({["first.txt"] = "02-Jan-2017 12:00:00", ["second.txt"] = "03-Jan-2017 12:00:00",
                             ["third.txt"] = "05-Jan-2017 12:00:00", ["b.txt"] = "01-Jun-2018 08:00:00"}) do
        T.fields(facts[name], {encrypted = true, time = time}, name)
    end
    T.eq(facts["a.txt"].time .. " " .. facts["dir/"].time, NEW_TIME .. " 03-Mar-2017 12:00:02", "new times")
    T.eq(Z.sevenzip_extract(archive, "pw", "a.txt"), TEXT, "a.txt")
end

-- Re-encoding computes an entry's CRC anew: damaged data must fail the writing, never be
-- written under a CRC that matches it.
function tests.re_encoding_never_launders_damage()
    local cases = {  -- zip options, the changes, the default password
        {"-0", {{zip.SetFileEncryption, ZIP_EM_AES_256, "pw"}}},
        {"-0 -P old", {{zip.SetFileEncryption, ZIP_EM_TRAD_PKWARE, "pw"}}, "old"},  -- a new password only
        {"-0", {{zip.SetFileEncryption, ZIP_EM_TRAD_PKWARE, "pw"}}},
        {"", {{zip.SetFileCompression, ZIP_CM_STORE}, {zip.SetFileEncryption, ZIP_EM_AES_128, "pw"}}},
        {"-0", {{zip.SetFileCompression, ZIP_CM_BZIP2}}},
    }
    for _, case in ipairs(cases) do
        for _, damaged in ipairs({true, false}) do
            local archive = infozip(case[1])
            local original = T.read(archive)
            if damaged then  -- a bit of a.txt's data, behind its 35-byte local header
                original = original:sub(1, 54) .. string.char(original:byte(55) ~ 4) .. original:sub(56)
                T.write(archive, original)
            end
            zip.OpenArchive(1, archive, 1004)
            if case[3] then zip.SetDefaultPassword(1, case[3]) end
            for _, change in ipairs(case[2]) do change[1](1, 0, table.unpack(change, 2)) end
            local what = ("%s %s, %d changes"):format(damaged and "damaged" or "intact", case[1], #case[2])
            if damaged then
                T.raises(ERR, zip.CloseArchive, 1)
                T.eq(T.read(archive) == original, true, what .. ": the archive is unchanged")
            else
                zip.CloseArchive(1)
                T.eq(Z.sevenzip_extract(archive, "pw", "a.txt"), TEXT, what)
            end
        end
    end
    -- libzip reads nothing of an entry that stores no bytes, whatever its header declares.
    local hollow = Z.python("hollow")
    local original = T.read(hollow)
    for index = 0, 1 do
        for _, change in ipairs({{zip.SetFileCompression, ZIP_CM_DEFLATE}, {zip.SetFileCompression, ZIP_CM_BZIP2},
                                 {zip.SetFileEncryption, ZIP_EM_TRAD_PKWARE, "pw"},
                                 {zip.SetFileEncryption, ZIP_EM_AES_256, "pw"}}) do
            zip.OpenArchive(1, hollow, 1004)
            change[1](1, index, table.unpack(change, 2))
            T.raises(ERR, zip.CloseArchive, 1)
            T.eq(T.read(hollow) == original, true, "hollow entry " .. index .. ": the archive is unchanged")
        end
    end
end

-- Every change refused (a file to add closed again) on an archive opened for reading.
function tests.read_mode_refuses_every_change()
    local archive = infozip()
    local before = T.read(archive)
    zip.OpenArchive(1, archive)
    for i, call in ipairs(every_change()) do
        T.raises(ERR, table.unpack(call))
        T.eq(T.count(1) .. " " .. host.OpenFiles(), "3 1", "entries, open files after change " .. i)
    end
    zip.SetDefaultPassword(1, "pw")
    T.eq(zip.GetFileComment(1, 0), "", "entry comment")
    zip.CloseArchive(1)
    T.eq(T.read(archive) == before, true, "archive unchanged")
end

-- While an extraction's callback runs, every change to its archive fails and changes
-- nothing; afterwards the changes succeed.
function tests.changes_fail_while_an_extraction_runs()
    local archive = T.files({["a.txt"] = ("a"):rep(200000), ["b.txt"] = "b"},
                            "zip -q -X guarded.zip a.txt b.txt") .. "/guarded.zip"
    local before = T.read(archive)
    local changes = every_change()
    zip.OpenArchive(1, archive, 1004)
    local calls = 0
    zip.ExtractFile(1, 0, T.tmpdir() .. "/out", {callback = function()
        calls = calls + 1
        if calls > 1 then return end
        for _, c in ipairs(changes) do T.raises(ERR, table.unpack(c)) end
        T.raises(T.NO_ARCHIVE, zip.DeleteFile, 6, 0)
        zip.SetDefaultPassword(1, "pw")
        T.eq(zip.GetFileComment(1, 0), "", "entry comment")
    end})
    T.eq(calls > 1, true, "progress calls")
    T.eq(zip.GetFileAtIndex(1, 0) .. zip.GetFileComment(1), "a.txt", "nothing changed")
    zip.CloseArchive(1)
    T.eq(T.read(archive) == before, true, "a refused change was written")
    zip.OpenArchive(1, archive, 1004)
    for _, c in ipairs(changes) do c[1](table.unpack(c, 2)) end
    T.eq(zip.GetFileAtIndex(1, 0), "renamed.txt", "changed after the extraction")
    zip.CloseArchive(1, 1)
end

-- An unknown archive is reported first; options are copied only once all are fetched.
function tests.an_unknown_archive_is_reported_first()
    local file = new_file("c.txt")
    zip.OpenArchive(1, infozip(), 1004)
    local calls = {
        {zip.DeleteFile, 2, 0}, {zip.RenameFile, 2, 0, "x"}, {zip.SetDefaultPassword, 2, "pw"},
        {zip.SetFileEncryption, 2, 0, 0x6601}, {zip.SetFileCompression, 2, 0, 6, 10},
        {zip.SetFileComment, 2, string.rep("x", 70000)}, {zip.GetFileComment, 2},
        {zip.SetFileTime, 2, 0, "not a date"}, {zip.AddDirectory, 2, "docs"},
        {zip.AddFile, 2, file, "not a table"}, {zip.AddFile, 2, "/missing", {}},
    }
    for _, call in ipairs(calls) do T.raises(T.NO_ARCHIVE, table.unpack(call)) end
    T.raises("number expected", zip.DeleteFile, 2, "zero")
    T.raises("string expected", zip.SetFileTime, 2, 0, {})
    T.raises("number expected", zip.SetFileComment, 2, "c", "one")
    T.raises("table expected", zip.AddFile, 1, file, "not a table")
    T.raises("table expected", zip.AddFile, 1, file, nil)  -- an option table counted, though nil
    T.raises("string expected", zip.AddFile, 1, file, {comment = {}})
    T.raises("string expected", zip.AddFile, 1, file, {password = "pw", time = false})
    T.eq(T.count(1), 3, "nothing added")
    T.eq(host.Allocations().tstring, nil, "no option copy left")
    zip.CloseArchive(1, 1)
end

T.suite(tests)
