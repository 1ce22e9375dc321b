-- zip.GetFileAttributes: sizes, CRC, methods and time of entries made by
-- Info-ZIP zip, 7-Zip and python's zipfile.
local T = require("testlib")
local F = require("reading_fixtures")

local KEYS = {"size", "compressedsize", "crc32", "compression", "encryption", "time"}

local function attributes(index)
    local a = zip.GetFileAttributes(1, index)
    local keys = 0
    for _ in pairs(a) do keys = keys + 1 end
    T.eq(keys, #KEYS, "number of keys")
    return a
end

local tests = {}

function tests.methods_and_sizes()
    local text = ("compressible text "):rep(1000)
    local dir = F.files({["stored.txt"] = ("s"):rep(1000), ["deflated.txt"] = text,
                         ["bzip2.txt"] = text, ["trad.txt"] = text, ["aes.txt"] = text})
    F.tool(dir, "mkdir folder && zip -q -0 all.zip stored.txt && zip -q all.zip deflated.txt folder" ..
                " && zip -q -Z bzip2 all.zip bzip2.txt && zip -q -P pw all.zip trad.txt" ..
                " && 7zz a -bd -tzip -mem=AES256 -pSecret aes.zip aes.txt >/dev/null")
    F.with_archive(1, dir .. "/all.zip", function()
        -- name, size, compressed size (or a check), compression, encryption
        local cases = {
            {"stored.txt", 1000, 1000, ZIP_CM_STORE, ZIP_EM_NONE},
            {"deflated.txt", #text, "smaller", ZIP_CM_DEFLATE, ZIP_EM_NONE},
            {"folder/", 0, 0, ZIP_CM_STORE, ZIP_EM_NONE},
            {"bzip2.txt", #text, "smaller", ZIP_CM_BZIP2, ZIP_EM_NONE},
            -- the 12-byte encryption header counts to the compressed size
            {"trad.txt", #text, "smaller", ZIP_CM_DEFLATE, ZIP_EM_TRAD_PKWARE},
        }
        for _, case in ipairs(cases) do
            local name = case[1]
            local a = attributes(zip.LocateFile(1, name))
            T.eq(a.size, case[2], name .. " size")
            if case[3] == "smaller" then
                T.eq(a.compressedsize < a.size, true, name .. " compressed size")
            else
                T.eq(a.compressedsize, case[3], name .. " compressed size")
            end
            T.eq(a.compression, case[4], name .. " compression")
            T.eq(a.encryption, case[5], name .. " encryption")
            T.eq(math.type(a.crc32), "integer", name .. " crc")
        end
        T.eq(attributes(zip.LocateFile(1, "folder/")).crc32, 0, "a directory's CRC")
        T.eq(attributes(zip.LocateFile(1, "stored.txt")).crc32, 0xC8230F8A, "a known CRC")
        for _, index in ipairs({-1, #cases, 1e12}) do
            T.raises("A zip error has occurred!", zip.GetFileAttributes, 1, index)
        end
        T.raises("Cannot find specified zip archive!", zip.GetFileAttributes, 2, 0)
    end)
    F.with_archive(1, dir .. "/aes.zip", function()
        local a = attributes(0)
        T.eq(a.encryption, ZIP_EM_AES_256, "AES method")
        T.eq(a.compression, ZIP_CM_DEFLATE, "the real method behind AES")
        T.eq(a.crc32, 0, "AE-2 records no CRC")
        T.eq(a.size, #text, "AES size")
    end)
end

function tests.a_crc_with_every_bit_set_is_positive()
    F.with_archive(1, F.python("crc-ones"), function()
        T.eq(attributes(0).crc32, 4294967295, "CRC")
    end)
end

-- The run's zone is Europe/Berlin. Entry times are local MS-DOS times with
-- two-second steps: an odd second reads back one lower, and a time that the
-- zone skips when summer time starts comes out an hour later.
function tests.times_as_date_strings()
    local cases = {
        {"2017,3,5,9,7,4", "05-Mar-2017 09:07:04"},
        {"2017,3,5,9,7,3", "05-Mar-2017 09:07:02"},
        {"1980,1,1,0,0,0", "01-Jan-1980 00:00:00"},
        {"2107,12,31,23,59,58", "31-Dec-2107 23:59:58"},
        {"2017,3,26,1,59,58", "26-Mar-2017 01:59:58"},
        {"2017,3,26,2,30,0", "26-Mar-2017 03:30:00"},  -- skipped in Berlin
        {"2017,3,26,3,0,0", "26-Mar-2017 03:00:00"},
        {"2017,10,29,2,30,0", "29-Oct-2017 02:30:00"}, -- passed twice in Berlin
        {"2016,2,29,12,0,0", "29-Feb-2016 12:00:00"},
    }
    -- Where time values have 32 bits, the latest MS-DOS years lie beyond them.
    if not pcall(os.time, {year = 2107, month = 12, day = 31}) then table.remove(cases, 4) end
    local stamps = {}
    for i, case in ipairs(cases) do stamps[i] = case[1] end
    F.with_archive(1, F.python("times", table.unpack(stamps)), function()
        for i, case in ipairs(cases) do
            T.eq(attributes(i - 1).time, case[2], case[1])
        end
    end)
    -- Info-ZIP takes the file's local modification time.
    local dir = F.files({["f"] = "x"})
    F.tool(dir, "touch -d '2017-03-05 09:07:06' f && zip -q -X t.zip f")
    F.with_archive(1, dir .. "/t.zip", function()
        T.eq(attributes(0).time, "05-Mar-2017 09:07:06", "Info-ZIP time")
    end)
end

T.suite(tests)
