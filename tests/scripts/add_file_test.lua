-- zip.AddFile and zip.AddDirectory, read back with python3's zipfile.
local T = require("testlib")
local Z = require("zip_tools")

local dir = T.tmpdir()
local TEXT = string.rep("The quick brown fox jumps over the lazy dog. ", 200)
local FILE_DATE = "14-Jul-2019 10:20:30"  -- the source's local modification time
local source = T.write(dir .. "/source.txt", TEXT, "2019-07-14 10:20:30")

-- Adds source to a new archive with the options: the entry as python3 reads it.
local function added(options, password)
    local archive = T.tmpdir() .. "/added.zip"
    zip.OpenArchive(1, archive, 1006)
    T.eq(options and zip.AddFile(1, source, options) or zip.AddFile(1, source), 0, "index")
    zip.CloseArchive(1)
    local facts = Z.facts(archive, password)
    T.eq(#facts.entries, 1, "entries")
    return facts.entries[1], archive
end

local tests = {}

function tests.each_option_alone_and_together()
    local PLAIN = {data = TEXT, size = #TEXT, encrypted = false}
    local cases = {
        {"no table", nil, {name = "source.txt", method = ZIP_CM_DEFLATE, time = FILE_DATE}},
        {"store", {compression = ZIP_CM_STORE}, {method = ZIP_CM_STORE, csize = #TEXT}},
        {"compression -1", {compression = -1}, {method = ZIP_CM_DEFLATE}},
        {"flags without a method", {compressionflags = 9}, {method = ZIP_CM_DEFLATE}},
        {"password without encryption", {password = "secret"}, {}},
        {"newname", {newname = "sub/dir/new name.txt"}, {name = "sub/dir/new name.txt", utf8 = false}},
        {"AES-256", {encryption = ZIP_EM_AES_256, password = "pw"}, {encrypted = true, aes = 3}},
        {"65536 + AES-128", {encryption = 65536 + ZIP_EM_AES_128, password = "pw"}, {encrypted = true, aes = 1}},
    }
    for _, method in ipairs({ZIP_EM_TRAD_PKWARE, ZIP_EM_AES_256}) do
        cases[#cases + 1] = {"every option, encryption " .. method,
            {encryption = method, compression = ZIP_CM_BZIP2, compressionflags = 9, password = "pw",
             newname = "docs/ßtraße.txt", comment = "together", time = "29-Feb-2016 23:59:58"},
            {name = "docs/ßtraße.txt", encrypted = true, comment = "together",
             time = "29-Feb-2016 23:59:58", method = method == ZIP_EM_TRAD_PKWARE and ZIP_CM_BZIP2 or nil,
             data = method == ZIP_EM_TRAD_PKWARE and TEXT or nil}}
    end
    for _, case in ipairs(cases) do
        local entry, archive = added(case[2], "pw")
        local encrypted = case[2] and case[2].encryption
        T.fields(entry, encrypted and {size = #TEXT} or PLAIN, case[1])
        T.fields(entry, case[3], case[1])
        T.eq(not encrypted or Z.sevenzip_extract(archive, "pw", entry.name) == TEXT, true, case[1] .. ": 7-Zip")
    end
end

function tests.names_directories_and_missing_files()
    local nested = T.files({}, "mkdir -p a/b") .. "/a/b"
    local archive = dir .. "/names.zip"
    zip.OpenArchive(1, archive, 1006)
    T.eq(zip.AddFile(1, T.write(nested .. "/report.txt", "report\n")), 0, "the last component")
    T.eq(zip.AddDirectory(1, "docs"), 1, "second index")
    T.eq(zip.AddFile(1, source, {newname = "docs/source.txt", comment = "first"}), 2, "third index")
    T.raises(T.ZIP_ERROR, zip.AddDirectory, 1, "docs/")
    T.raises(T.ZIP_ERROR, zip.AddFile, 1, source, {newname = "docs/source.txt", comment = "second"})
    T.eq(zip.AddDirectory(1, "empty/"), 3, "a name with its slash")
    -- Names the format cannot hold, or that a zero byte would cut short.
    T.raises(T.ZIP_ERROR, zip.AddFile, 1, source, {newname = ("n"):rep(65537)})
    T.raises(T.ZIP_ERROR, zip.AddDirectory, 1, ("d"):rep(65536))
    T.raises(1055, zip.AddFile, 1, source, {newname = "cut\0short"})
    T.raises(1055, zip.AddFile, 1, source, {encryption = ZIP_EM_AES_256, password = "p\0w"})
    T.raises(1055, zip.AddDirectory, 1, "cut\0short")
    T.eq(T.count(1), 4, "nothing added")
    local missing = dir .. "/no such file.txt"
    assert(T.raises(1045, zip.AddFile, 1, missing, {comment = "c", time = "x"}):find(missing, 1, true))
    T.raises(1045, zip.AddFile, 1, dir, {})  -- a directory is no file to add
    zip.CloseArchive(1)
    local facts = Z.facts(archive)
    T.eq(facts.names, "report.txt,docs/,docs/source.txt,empty/", "names")
    T.eq(facts["docs/source.txt"].comment, "first", "the first entry is unchanged")
end

-- Each failure keeps the entry with what was applied before it.
function tests.failures_after_the_entry_exists()
    local cases = {
        {"comment too long", 1055, {encryption = ZIP_EM_TRAD_PKWARE, compression = ZIP_CM_STORE,
                                    comment = ("c"):rep(65536), time = "01-Jan-2017 12:00:00"},
         {encrypted = true, method = ZIP_CM_STORE, comment = "", time = FILE_DATE}},
        {"time does not parse", 1055, {compression = ZIP_CM_BZIP2, comment = "kept", time = "01/Jan/2017 12:00:00"},
         {encrypted = false, method = ZIP_CM_BZIP2, comment = "kept", time = FILE_DATE}},
        {"method libzip cannot write", T.ZIP_ERROR, {compression = 6, comment = "not applied"},
         {method = ZIP_CM_DEFLATE, comment = ""}},
        {"flags above 9", T.ZIP_ERROR, {encryption = ZIP_EM_TRAD_PKWARE,
                                        compression = ZIP_CM_STORE, compressionflags = 10},
         {encrypted = true, method = ZIP_CM_DEFLATE}},
    }
    for _, case in ipairs(cases) do
        local archive = T.tmpdir() .. "/failed.zip"
        zip.OpenArchive(1, archive, 1006)
        zip.SetDefaultPassword(1, "pw")
        T.raises(case[2], zip.AddFile, 1, source, case[3])
        T.eq(T.count(1), 1, case[1] .. ": the entry stays")
        zip.CloseArchive(1)
        case[4].data = TEXT
        T.fields(Z.facts(archive, "pw").entries[1], case[4], case[1])
    end
    -- Unless the encryption asked for cannot be set: the entry goes, never written plain.
    local archive = T.tmpdir() .. "/unencrypted.zip"
    zip.OpenArchive(1, archive, 1006)
    T.raises(T.ZIP_ERROR, zip.AddFile, 1, source, {encryption = 0x6601, password = "pw"})
    T.raises(T.ZIP_ERROR, zip.GetFileAtIndex, 1, 0)
    T.eq(zip.AddFile(1, source, {newname = "other"}), 1, "the next entry")
    zip.CloseArchive(1)
    T.eq(Z.facts(archive).names, "other", "entries written")
end

function tests.data_is_read_when_the_archive_is_written()
    local file = T.write(T.tmpdir() .. "/changing.txt", "before\n")
    local archive = dir .. "/changing.zip"
    zip.OpenArchive(1, archive, 1006)
    zip.AddFile(1, file)
    T.write(file, "after the command, longer than before\n")
    zip.CloseArchive(1)
    T.eq(Z.facts(archive).entries[1].data, "after the command, longer than before\n", "contents at close")
    -- No file is held open between the command and the writing.
    local many = T.tmpdir()
    zip.OpenArchive(1, archive, 1004)
    for i = 1, 300 do
        zip.AddFile(1, T.write(("%s/%d.txt"):format(many, i), "file " .. i))
    end
    T.eq(host.OpenFiles(), 0, "open files after adding 300")
    zip.CloseArchive(1)
    local facts = Z.facts(archive)
    T.eq(#facts.entries .. facts["300.txt"].data, "301file 300", "entries, the last one's data")
    -- Dropping the changes frees the added entries' sources.
    for _ = 1, 2 do zip.OpenArchive(1, dir .. "/discarded.zip", 1006); zip.AddFile(1, source) end
    zip.CloseArchive(1, 1)
    T.eq(T.exists(dir .. "/discarded.zip"), false, "nothing written")
end

-- Traditional encryption checks the password against the source's time: a
-- file whose date cannot be examined gets one date for header and check.
function tests.a_file_whose_date_cannot_be_examined()
    for k = 1, 3 do
        local archive = T.tmpdir() .. "/undated.zip"
        zip.OpenArchive(1, archive, 1006)
        zip.AddFile(1, source, {encryption = ZIP_EM_TRAD_PKWARE, password = "pw"})
        host.FailIo("examine", k)
        zip.CloseArchive(1)
        host.FailIo("examine", 0)
        Z.unzip_test(archive, "pw")
    end
end

T.suite(tests)
