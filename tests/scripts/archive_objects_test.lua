-- Archive objects as a script sees them.
local T = require("testlib")

local TYPE = zip.GetObjectType()
local dir = T.files({["a.txt"] = "alpha\n", ["b.txt"] = "beta\n", x = "x", y = "yy", z = "zzz",
                     ["text.zip"] = "plain text, not an archive\n"},
                    "zip -q -X two.zip a.txt b.txt && zip -q -X three.zip x y z")
local two, three, not_zip = dir .. "/two.zip", dir .. "/three.zip", dir .. "/text.zip"

local function listed()
    local ids = {}
    for _, id in ipairs(host.Objects(TYPE)) do ids[#ids + 1] = tostring(id) end
    return table.concat(ids, ",")
end

local tests = {}

function tests.truncate_mode_starts_empty_and_replaces_the_file_when_written()
    local copy = T.write(dir .. "/copy.zip", T.read(three))
    zip.OpenArchive(1, copy, 1006)
    T.eq(T.count(1), 0, "entries")
    zip.CloseArchive(1, 1)
    T.eq(T.read(copy), T.read(three), "discarded: the file as it was")
    zip.OpenArchive(1, not_zip, 1006)  -- a file that is not an archive, too
    zip.CloseArchive(1, 1)
    zip.OpenArchive(1, copy, 1006)
    zip.CloseArchive(1)
    T.eq(T.exists(copy), false, "an empty archive written leaves no file")
end

function tests.archives_that_cannot_be_opened_name_their_file()
    local cases = {{dir .. "/missing.zip", 1005}, {dir .. "/missing.zip", nil}, {not_zip, 1005},
                   {not_zip, 1004}, {dir, 1005}, {dir .. "/no/such/folder/x.zip", 1005}}
    for _, c in ipairs(cases) do
        local what = ("%s in mode %s"):format(c[1], tostring(c[2]))
        zip.OpenArchive(1, two)
        T.raises("Error opening zip archive " .. c[1] .. "!", zip.OpenArchive, 1, c[1], c[2])
        T.eq(listed(), "", what .. ": the older archive under 1 is gone, no new one came")
        T.no_leaks(what)
    end
    T.eq(T.read(not_zip), "plain text, not an archive\n", "the text file is untouched")
end

function tests.identifiers_numbers_and_handles()
    local a = zip.OpenArchive(nil, two)
    local b = zip.OpenArchive(nil, three, 1004)
    T.eq(type(a) == "userdata" and a ~= b, true, "automatic identifiers are handles of their own")
    for _, id in ipairs({3, 0, 2}) do
        T.eq(select("#", zip.OpenArchive(id, two)), 0, "a numeric open returns nothing")
    end
    zip.OpenArchive(3, three)
    T.eq(listed(), ("%s,%s,0,2,3"):format(tostring(a), tostring(b)), "a reopened number goes to the tail")
    T.eq(("%d %d %d %d"):format(T.count(a), T.count(b), T.count(0), T.count(3)), "2 3 2 3", "entries")
    zip.CloseArchive(a)
    zip.CloseArchive(0)
    T.eq(listed(), ("%s,2,3"):format(tostring(b)), "closing from the head and the middle")
    for _, id in ipairs({a, 0, 77, 7.5}) do
        T.raises(T.NO_ARCHIVE, zip.CloseArchive, id)
        T.raises(T.NO_ARCHIVE, zip.CloseArchive, id, 1)
        T.raises(T.NO_ARCHIVE, T.count, id)
    end
    -- The archive is looked for before the callback is checked.
    T.raises(T.NO_ARCHIVE, zip.CloseArchive, 9, 0, "not a function")
    for _, attribute in ipairs({0, 1, 32767, 32769, -32768, 65536}) do
        T.raises(1080, host.GetAttribute, TYPE, 2, attribute)
    end
    T.eq(math.type(T.count(2)), "integer", "the entry count is a whole number")
    zip.CloseArchive(b, 1)
    zip.CloseArchive(2)
    zip.CloseArchive(3)
end

function tests.arguments_are_checked_before_anything_is_done()
    zip.OpenArchive(1, two)
    -- A callback that is not a function: the host's error, the archive still
    -- open (and nothing left behind: the suite checks after each test).
    for _, callback in ipairs({"5", "{}", "nil", "'f'"}) do
        T.raises("function expected", load("zip.CloseArchive(1, 0, " .. callback .. ")"))
        T.eq(listed() .. " " .. host.OpenFiles(), "1 1", "still open after a bad callback " .. callback)
    end
    T.raises("number expected", zip.CloseArchive, 1, "keep")
    T.raises("bad argument #2", zip.OpenArchive, 1)
    T.raises("bad argument #2", zip.OpenArchive, {}, nil)
    T.raises("bad argument #1", zip.OpenArchive, {}, two)
    T.raises("bad argument #3", zip.OpenArchive, 1, two, "read")
    T.eq(listed(), "1", "a refused open discards nothing")
    zip.CloseArchive(1)
end

T.suite(tests)
