-- zip.GetFileAtIndex and zip.LocateFile with and without their options.
local T = require("testlib")
local Z = require("zip_tools")

local NAMES = {"README.TXT", "dir/", "dir/a.txt", "other/A.TXT", "a.txt", "Grüße.txt"}

local tests = {}

function tests.listing_and_locating_entries()
    T.with_archive(1, Z.python("names"), function()
        T.eq(T.count(1), #NAMES, "entry count")
        -- The unflagged CP437 name comes out as UTF-8.
        for i, name in ipairs(NAMES) do T.eq(zip.GetFileAtIndex(1, i - 1), name, "name " .. i) end
        for _, index in ipairs({#NAMES, -1, 2 ^ 31, -2 ^ 40}) do T.raises(T.ZIP_ERROR, zip.GetFileAtIndex, 1, index) end
        T.raises(T.NO_ARCHIVE, zip.GetFileAtIndex, 9, 0)
        -- name, then the index found with: no options, nocase, nodir, both
        local cases = {
            {"README.TXT", 0, 0, 0, 0},
            {"readme.txt", -1, 0, -1, 0},
            {"a.txt", 4, 4, 2, 2},          -- with nodir the lowest index wins
            {"A.TXT", -1, 4, 3, 2},
            {"dir/a.txt", 2, 2, -1, -1},    -- with nodir a "/" finds nothing
            {"DIR/A.TXT", -1, 2, -1, -1},
            {"dir", -1, -1, -1, -1},        -- a directory needs its "/"
            {"dir/", 1, 1, -1, -1},
            {"Grüße.txt", 5, 5, 5, 5},
            {"missing", -1, -1, -1, -1},
            {"", -1, -1, 1, 1},              -- what follows the "/" of "dir/"
            {"a.txt\0junk", -1, -1, -1, -1},  -- no entry name holds a zero byte
        }
        local options = {{}, {nocase = 1}, {nodir = 1}, {nocase = -2, nodir = 0.5 + 0.5}}
        for _, case in ipairs(cases) do
            T.eq(zip.LocateFile(1, case[1]), case[2], ("%q without options"):format(case[1]))
            for column, option in ipairs(options) do
                T.eq(zip.LocateFile(1, case[1], option), case[column + 1], ("%q, column %d"):format(case[1], column))
            end
        end
        -- A missing archive is reported before a bad option table.
        T.raises(T.NO_ARCHIVE, zip.LocateFile, 2, "a.txt", 1)
    end)
end

-- Entries deleted or renamed since the archive was opened (the changes discarded).
function tests.deleted_and_renamed_entries()
    local out = T.tmpdir() .. "/out"
    zip.OpenArchive(1, Z.python("names"), 1004)
    zip.DeleteFile(1, 0)
    zip.RenameFile(1, 4, "renamed.txt")
    for _, f in ipairs({zip.GetFileAtIndex, zip.GetFileAttributes, zip.ExtractFile}) do
        T.raises(T.ZIP_ERROR, f, 1, 0, out)
    end
    T.eq(T.exists(out), false, "extracted from a deleted entry")
    T.eq(zip.LocateFile(1, "readme.txt", {nocase = 1}) + zip.LocateFile(1, "a.txt"), -2, "old names")
    zip.ExtractFile(1, zip.LocateFile(1, "renamed.txt"), out)
    T.eq(zip.GetFileAtIndex(1, 4) .. ": " .. T.read(out), "renamed.txt: a at the top", "the renamed entry")
    zip.CloseArchive(1, 1)
end

T.suite(tests)
