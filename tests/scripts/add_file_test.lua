-- zip.AddFile and zip.AddDirectory: every option alone and together, the
-- failures and what each leaves behind, and the file's data read when the
-- archive is written. Archives are read back with python3's zipfile.
local T = require("testlib")
local Z = require("zip_tools")

local dir = T.tmpdir()
local TEXT = string.rep("The quick brown fox jumps over the lazy dog. ", 200)
local FILE_DATE = "2019-07-14 10:20:30"  -- a local time
local FILE_DATE_STRING = "14-Jul-2019 10:20:30"
local source = Z.file(dir .. "/source.txt", TEXT, FILE_DATE)

local function count(id)
    return host.GetAttribute(zip.GetObjectType(), id, ZIPATTRNUMENTRIES)
end

-- Adds source to a new archive with the options, writes it and returns the
-- entry as python3 reads it (with the password, where one is given).
local function added(options, password)
    local archive = T.tmpdir() .. "/added.zip"
    zip.OpenArchive(1, archive, 1006)
    local index = options == nil and zip.AddFile(1, source) or zip.AddFile(1, source, options)
    T.eq(index, 0, "index of the first entry")
    zip.CloseArchive(1)
    local facts = Z.facts(archive, password)
    T.eq(#facts.entries, 1, "entries")
    return facts.entries[1], archive
end

local tests = {}

function tests.each_option_alone()
    local cases = {
        {"no table", nil, function(e)
            T.eq(e.name, "source.txt", "name")
            T.eq(e.method, ZIP_CM_DEFLATE, "libzip's default method")
            T.eq(e.encrypted, false, "encrypted")
            T.eq(e.time, FILE_DATE_STRING, "the file's own date")
        end},
        {"store", {compression = ZIP_CM_STORE}, function(e)
            T.eq(e.method, ZIP_CM_STORE, "method")
            T.eq(e.csize, #TEXT, "stored size")
        end},
        {"bzip2", {compression = ZIP_CM_BZIP2}, function(e) T.eq(e.method, 12, "method") end},
        {"compression -1 is the default", {compression = -1}, function(e)
            T.eq(e.method, ZIP_CM_DEFLATE, "method")
        end},
        {"flags without a method", {compressionflags = 9}, function(e)
            T.eq(e.method, ZIP_CM_DEFLATE, "method")
        end},
        {"password without encryption", {password = "secret"}, function(e)
            T.eq(e.encrypted, false, "encrypted")
        end},
        {"newname", {newname = "sub/dir/new name.txt"}, function(e)
            T.eq(e.name, "sub/dir/new name.txt", "name")
        end},
        {"non-ASCII newname", {newname = "Grüße/ñandú.txt"}, function(e)
            T.eq(e.name, "Grüße/ñandú.txt", "name")
            T.eq(e.utf8, true, "UTF-8 flag")
        end},
        {"comment", {comment = "an entry's comment"}, function(e)
            T.eq(e.comment, "an entry's comment", "comment")
        end},
        {"time", {time = "01-Jan-2017 12:00:00"}, function(e)
            T.eq(e.time, "01-Jan-2017 12:00:00", "time")
        end},
        {"odd second", {time = "05-Mar-2017 09:07:03"}, function(e)
            T.eq(e.time, "05-Mar-2017 09:07:02", "two seconds' resolution")
        end},
    }
    for _, case in ipairs(cases) do
        local entry = added(case[2])
        local ok, message = pcall(case[3], entry)
        if not ok then error(case[1] .. ": " .. message) end
        T.eq(entry.data, TEXT, case[1] .. ": data")
        T.eq(entry.size, #TEXT, case[1] .. ": size")
    end
end

function tests.encryption_methods_with_their_password()
    for _, case in ipairs({{ZIP_EM_AES_128, 1}, {ZIP_EM_AES_192, 2}, {ZIP_EM_AES_256, 3},
                           {65536 + ZIP_EM_AES_128, 1}}) do
        local entry, archive = added({encryption = case[1], password = "pw"})
        T.eq(entry.encrypted, true, "encrypted")
        T.eq(entry.aes, case[2], "AES key strength for " .. case[1])
        local folder = Z.sevenzip_extract(archive, "pw")
        T.eq(T.read(folder .. "/source.txt"), TEXT, "7-Zip's extraction")
    end
    local entry = added({encryption = ZIP_EM_TRAD_PKWARE, password = "pw"}, "pw")
    T.eq(entry.encrypted, true, "traditional: encrypted")
    T.eq(entry.aes, nil, "traditional: no AES")
    T.eq(entry.data, TEXT, "traditional: read with the password")
end

function tests.every_option_together()
    for _, method in ipairs({ZIP_EM_TRAD_PKWARE, ZIP_EM_AES_256}) do
        local entry, archive = added({encryption = method, compression = ZIP_CM_BZIP2,
                                      compressionflags = 9, password = "pw",
                                      newname = "docs/ßtraße.txt", comment = "together",
                                      time = "29-Feb-2016 23:59:58"}, "pw")
        T.eq(entry.name, "docs/ßtraße.txt", "name")
        T.eq(entry.encrypted, true, "encrypted")
        T.eq(entry.comment, "together", "comment")
        T.eq(entry.time, "29-Feb-2016 23:59:58", "time")
        local output, ok = Z.sevenzip_test(archive, "pw")
        assert(ok, output)
        local _, wrong = Z.sevenzip_test(archive, "not the password")
        T.eq(wrong, false, "7-Zip with a wrong password")
        if method == ZIP_EM_TRAD_PKWARE then
            T.eq(entry.method, 12, "method")
            T.eq(entry.data, TEXT, "data")
        end
    end
end

function tests.name_is_the_last_component_of_the_path()
    local nested = T.tmpdir() .. "/a/b"
    T.sh("mkdir -p " .. Z.quote(nested))
    Z.file(nested .. "/report.txt", "report\n")
    local archive = dir .. "/names.zip"
    zip.OpenArchive(1, archive, 1006)
    T.eq(zip.AddFile(1, nested .. "/report.txt"), 0, "first index")
    T.eq(zip.AddDirectory(1, "docs"), 1, "second index")
    T.eq(zip.AddFile(1, source, {newname = "docs/source.txt"}), 2, "third index")
    Z.fails_with(Z.ZIP_ERROR, zip.AddDirectory, 1, "docs/")
    T.eq(zip.AddDirectory(1, "empty/"), 3, "a name with its slash")
    zip.CloseArchive(1)
    local facts = Z.facts(archive)
    T.eq(Z.names(facts), "report.txt,docs/,docs/source.txt,empty/", "names")
    T.eq(Z.entry(facts, "docs/").size, 0, "a directory has no data")
end

function tests.a_name_already_present_is_refused()
    local archive = dir .. "/dup.zip"
    zip.OpenArchive(1, archive, 1006)
    zip.AddFile(1, source, {comment = "first"})
    Z.fails_with(Z.ZIP_ERROR, zip.AddFile, 1, source, {comment = "second"})
    T.eq(host.OpenFiles(), 1, "only the first entry's file is open")
    T.eq(count(1), 1, "entries")
    T.eq(zip.GetFileComment(1, 0), "first", "the first entry is unchanged")
    zip.CloseArchive(1)
    T.eq(Z.facts(archive).entries[1].comment, "first", "written comment")
end

function tests.read_mode_refuses_and_closes_the_file()
    local archive = dir .. "/readonly.zip"
    zip.OpenArchive(1, archive, 1006)
    zip.AddFile(1, source)
    zip.CloseArchive(1)
    local before = T.read(archive)
    zip.OpenArchive(1, archive)
    Z.fails_with(Z.ZIP_ERROR, zip.AddFile, 1, source, {newname = "other.txt"})
    Z.fails_with(Z.ZIP_ERROR, zip.AddDirectory, 1, "docs")
    T.eq(host.OpenFiles(), 1, "only the archive itself is open")
    T.eq(count(1), 1, "entries")
    zip.CloseArchive(1)
    T.eq(T.read(archive) == before, true, "archive unchanged")
end

function tests.unknown_archive_comes_before_any_option()
    zip.OpenArchive(1, dir .. "/known.zip", 1006)
    Z.fails_with(Z.NO_ARCHIVE, zip.AddFile, 2, source, "not a table")
    Z.fails_with(Z.NO_ARCHIVE, zip.AddFile, 2, dir .. "/missing", {})
    Z.fails_with(Z.NO_ARCHIVE, zip.AddDirectory, 2, "docs")
    T.raises("table expected", zip.AddFile, 1, source, "not a table")
    T.raises("string expected", zip.AddFile, 1, source, {comment = {}})
    T.raises("string expected", zip.AddFile, 1, source, {password = "pw", time = false})
    T.eq(count(1), 0, "nothing added")
    zip.CloseArchive(1)
end

function tests.a_source_that_cannot_be_opened_names_its_path()
    zip.OpenArchive(1, dir .. "/missing.zip", 1006)
    local missing = dir .. "/no such file.txt"
    local message = Z.fails_with(1045, zip.AddFile, 1, missing, {comment = "c", time = "x"})
    assert(message:find(missing, 1, true), message)
    Z.fails_with(1045, zip.AddFile, 1, dir, {})  -- a directory is no file to add
    T.eq(count(1), 0, "nothing added")
    zip.CloseArchive(1)
end

-- Each failure keeps the entry with what was applied before it.
function tests.failures_after_the_entry_exists()
    local long = string.rep("c", 65536)
    local cases = {
        {"comment too long", 1055, {encryption = ZIP_EM_TRAD_PKWARE, compression = ZIP_CM_STORE,
                                    comment = long, time = "01-Jan-2017 12:00:00"},
         {encrypted = true, method = ZIP_CM_STORE, comment = "", time = FILE_DATE_STRING}},
        {"time does not parse", 1055, {compression = ZIP_CM_BZIP2, comment = "kept",
                                       time = "01/Jan/2017 12:00:00"},
         {encrypted = false, method = 12, comment = "kept", time = FILE_DATE_STRING}},
        {"method libzip cannot write", Z.ZIP_ERROR, {compression = 6, comment = "not applied"},
         {method = ZIP_CM_DEFLATE, comment = ""}},
        {"flags above 9", Z.ZIP_ERROR, {encryption = ZIP_EM_TRAD_PKWARE,
                                        compression = ZIP_CM_STORE, compressionflags = 10},
         {encrypted = true, method = ZIP_CM_DEFLATE}},
        {"encryption libzip cannot write", Z.ZIP_ERROR,
         {encryption = 0x6601, compression = ZIP_CM_STORE, comment = "not applied"},
         {encrypted = false, method = ZIP_CM_DEFLATE, comment = ""}},
    }
    for _, case in ipairs(cases) do
        local archive = T.tmpdir() .. "/failed.zip"
        zip.OpenArchive(1, archive, 1006)
        zip.SetDefaultPassword(1, "pw")
        Z.fails_with(case[2], zip.AddFile, 1, source, case[3])
        T.eq(count(1), 1, case[1] .. ": the entry stays")
        zip.CloseArchive(1)
        local entry = Z.facts(archive, "pw").entries[1]
        for key, value in pairs(case[4]) do T.eq(entry[key], value, case[1] .. ": " .. key) end
        T.eq(entry.data, TEXT, case[1] .. ": data")
    end
end

function tests.data_is_read_when_the_archive_is_written()
    local file = Z.file(T.tmpdir() .. "/changing.txt", "before\n")
    local archive = dir .. "/changing.zip"
    zip.OpenArchive(1, archive, 1006)
    zip.AddFile(1, file)
    T.eq(host.OpenFiles(), 1, "the file stays open until the archive is written")
    T.write(file, "after the command, longer than before\n")
    zip.CloseArchive(1)
    T.eq(host.OpenFiles(), 0, "closed once written")
    local entry = Z.facts(archive).entries[1]
    T.eq(entry.data, "after the command, longer than before\n", "contents at close")
    T.eq(entry.size, 38, "size at close")
end

function tests.discarding_closes_the_added_files()
    zip.OpenArchive(1, dir .. "/discarded.zip", 1006)
    zip.AddFile(1, source)
    zip.AddFile(1, source, {newname = "second"})
    T.eq(host.OpenFiles(), 2, "open files")
    zip.OpenArchive(1, dir .. "/discarded.zip", 1006)  -- the identifier is reused
    T.eq(host.OpenFiles(), 0, "closed with the discarded archive")
    zip.AddFile(1, source)
    zip.CloseArchive(1, 1)
    T.eq(T.exists(dir .. "/discarded.zip"), false, "nothing written")
end

-- Allocations of zip.AddFile, in order: the copies of "password",
-- "newname", "comment" and "time", then the source's state. A failed copy
-- counts as an absent option; a failed state is error 1000.
function tests.each_allocation_fails_in_turn()
    local options = {encryption = ZIP_EM_TRAD_PKWARE, password = "own", newname = "renamed.txt",
                     comment = "a comment", time = "01-Jan-2017 12:00:00"}
    local expected = {
        {password = "default"}, {name = "source.txt"}, {comment = ""}, {time = FILE_DATE_STRING},
    }
    for k = 1, 6 do
        local archive = T.tmpdir() .. "/sweep.zip"
        zip.OpenArchive(1, archive, 1006)
        zip.SetDefaultPassword(1, "default")
        host.FailAlloc(k)
        local ok = pcall(zip.AddFile, 1, source, options)
        host.FailAlloc(0)
        if k == 5 then
            T.eq(ok, false, "no memory for the state")
            T.eq(host.LastErrorCode(), 1000, "code")
            T.eq(host.OpenFiles(), 0, "the file is closed")
            T.eq(count(1), 0, "no entry")
            zip.CloseArchive(1, 1)
        else
            T.eq(ok, true, "allocation " .. k)
            zip.CloseArchive(1)
            local want = expected[k] or {}
            local facts = Z.facts(archive, want.password or "own")
            local entry = facts.entries[1]
            T.eq(entry.name, want.name or "renamed.txt", k .. ": name")
            T.eq(entry.comment, want.comment or "a comment", k .. ": comment")
            T.eq(entry.time, want.time or "01-Jan-2017 12:00:00", k .. ": time")
            T.eq(entry.data, TEXT, k .. ": read with the password")
        end
        T.no_leaks("allocation " .. k)
    end
end

-- The archive is left as it was when an added file cannot be read at close.
function tests.a_read_error_at_close_fails_the_close()
    local folder = T.tmpdir()
    local archive = folder .. "/kept.zip"
    zip.OpenArchive(1, archive, 1006)
    zip.AddFile(1, source, {newname = "old.txt"})
    zip.CloseArchive(1)
    local before = T.read(archive)
    for k = 1, 2 do
        zip.OpenArchive(1, archive, 1004)
        zip.AddFile(1, source)
        host.FailIo("read", k)
        Z.fails_with(Z.ZIP_ERROR, zip.CloseArchive, 1)
        host.FailIo("read", 0)
        T.eq(host.OpenFiles(), 0, "closed")
        T.eq(T.read(archive) == before, true, "archive untouched after read failure " .. k)
        T.eq(T.run("ls " .. Z.quote(folder)), "kept.zip\n", "no temporary file left")
    end
end

-- Traditional encryption checks the password against the time that the
-- data source reports; a file whose date cannot be examined still gets one
-- date for the header and for the check.
function tests.a_file_whose_date_cannot_be_examined()
    for k = 1, 3 do
        local archive = T.tmpdir() .. "/undated.zip"
        zip.OpenArchive(1, archive, 1006)
        zip.AddFile(1, source, {encryption = ZIP_EM_TRAD_PKWARE, password = "pw"})
        host.FailIo("examine", k)
        zip.CloseArchive(1)
        host.FailIo("examine", 0)
        local output, ok = Z.unzip_test(archive, "pw")
        assert(ok, "examine failure " .. k .. ":\n" .. output)
        T.eq(Z.facts(archive, "pw").entries[1].data, TEXT, "data")
    end
end

T.suite(tests)
