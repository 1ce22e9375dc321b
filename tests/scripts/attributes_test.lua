-- zip.GetFileAttributes on entries made by Info-ZIP zip, 7-Zip and python.
local T = require("testlib")
local Z = require("zip_tools")

local KEYS = {"size", "compressedsize", "crc32", "compression", "encryption", "time"}

local function attributes(index)
    local a, keys = zip.GetFileAttributes(1, index), 0
    for _ in pairs(a) do keys = keys + 1 end
    T.eq(keys, #KEYS, "number of keys")
    return a
end

local tests = {}

function tests.methods_sizes_and_crcs()
    local text = ("compressible text "):rep(1000)
    local dir = T.files({["stored.txt"] = ("s"):rep(1000), ["deflated.txt"] = text,
                         ["bzip2.txt"] = text, ["trad.txt"] = text, ["aes.txt"] = text},
        "mkdir folder && touch -d '2017-03-05 09:07:06' stored.txt && zip -q -0 all.zip stored.txt" ..
        " && zip -q all.zip deflated.txt folder && zip -q -Z bzip2 all.zip bzip2.txt" ..
        " && zip -q -P pw all.zip trad.txt && 7zz a -bd -tzip -mem=AES256 -pSecret aes.zip aes.txt >/dev/null")
    T.with_archive(1, dir .. "/all.zip", function()
        -- name, then the expected attributes (if none, a compressed size below the size)
        local cases = {
            {"stored.txt", {size = 1000, compressedsize = 1000, compression = ZIP_CM_STORE,
                            encryption = ZIP_EM_NONE, crc32 = 0xC8230F8A,
                            time = "05-Mar-2017 09:07:06"}},  -- Info-ZIP takes the local time
            {"deflated.txt", {size = #text, compression = ZIP_CM_DEFLATE, encryption = ZIP_EM_NONE}},
            {"folder/", {size = 0, compressedsize = 0, compression = ZIP_CM_STORE, crc32 = 0}},
            {"bzip2.txt", {size = #text, compression = ZIP_CM_BZIP2, encryption = ZIP_EM_NONE}},
            {"trad.txt", {size = #text, compression = ZIP_CM_DEFLATE, encryption = ZIP_EM_TRAD_PKWARE}},
        }
        for _, case in ipairs(cases) do
            local a = attributes(zip.LocateFile(1, case[1]))
            T.fields(a, case[2], case[1])
            T.eq(case[2].compressedsize ~= nil or a.compressedsize < a.size, true, case[1] .. " compressed size")
            T.eq(math.type(a.crc32), "integer", case[1] .. " crc")
        end
        for _, index in ipairs({-1, #cases, 1e12}) do T.raises(T.ZIP_ERROR, zip.GetFileAttributes, 1, index) end
        T.raises(T.NO_ARCHIVE, zip.GetFileAttributes, 2, 0)
    end)
    T.with_archive(1, dir .. "/aes.zip", function()
        -- The real method behind AES; AE-2 records no CRC.
        T.fields(attributes(0), {encryption = ZIP_EM_AES_256, compression = ZIP_CM_DEFLATE,
                                 crc32 = 0, size = #text}, "aes.txt")
    end)
    T.with_archive(1, Z.python("crc-ones"), function()
        T.eq(attributes(0).crc32, 4294967295, "a CRC with every bit set is positive")
    end)
end

-- Local MS-DOS times (the run's zone is Europe/Berlin): the first and the last
-- the format holds, and both sides of the hour that summer time skips.
function tests.times_as_date_strings()
    local cases = {
        {"2107,12,31,23,59,58", "31-Dec-2107 23:59:58"}, {"1980,1,1,0,0,0", "01-Jan-1980 00:00:00"},
        {"2017,3,26,1,59,58", "26-Mar-2017 01:59:58"}, {"2017,3,26,3,0,0", "26-Mar-2017 03:00:00"},
        {"2016,2,29,12,0,0", "29-Feb-2016 12:00:00"},
    }
    if not pcall(os.time, {year = 2107, month = 12, day = 31}) then table.remove(cases, 1) end  -- 32-bit time
    local stamps = {}
    for i, case in ipairs(cases) do stamps[i] = case[1] end
    T.with_archive(1, Z.python("times", table.unpack(stamps)), function()
        for i, case in ipairs(cases) do T.eq(attributes(i - 1).time, case[2], case[1]) end
    end)
end

-- An entry added but not yet written knows only its file's date.
function tests.placeholders_before_writing()
    local dir = T.files({["new.txt"] = "data"}, "touch -d '2017-03-05 09:07:04' new.txt")
    zip.OpenArchive(1, dir .. "/new.zip", 1006)
    zip.AddFile(1, dir .. "/new.txt")
    T.fields(attributes(0), {size = -1, compressedsize = -1, crc32 = 0, compression = -1,
                             encryption = -1, time = "05-Mar-2017 09:07:04"}, "new.txt")
    T.raises(T.ZIP_ERROR, zip.ExtractFile, 1, 0, dir .. "/x")
    zip.CloseArchive(1, 1)
end

T.suite(tests)
