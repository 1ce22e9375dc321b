-- zip.OpenArchive, zip.CloseArchive, zip.GetObjectType and the "ZIP archive"
-- object type, as a script sees them.
local T = require("testlib")

local TYPE = zip.GetObjectType()
local dir = T.tmpdir()

-- An archive made by Info-ZIP from the given files (name = content).
local function infozip(name, files)
    local names = {}
    for file, content in pairs(files) do
        T.write(dir .. "/" .. file, content)
        names[#names + 1] = "'" .. file .. "'"
    end
    table.sort(names)
    T.sh(("cd '%s' && rm -f '%s' && zip -q -X '%s' %s && rm %s"):format(
        dir, name, name, table.concat(names, " "), table.concat(names, " ")))
    return dir .. "/" .. name
end

local two = infozip("two.zip", {["a.txt"] = "alpha\n", ["b.txt"] = "beta\n"})
local three = infozip("three.zip", {["x"] = "x", ["y"] = "yy", ["z"] = "zzz"})
local not_zip = dir .. "/text.zip"
T.write(not_zip, "plain text, not an archive\n")

local function count(id)
    return host.GetAttribute(TYPE, id, ZIPATTRNUMENTRIES)
end

local function listed()
    local ids = {}
    for _, id in ipairs(host.Objects(TYPE)) do ids[#ids + 1] = tostring(id) end
    return table.concat(ids, ",")
end

-- What the plugin holds right now: blocks by tag and open host files.
local function holdings()
    local tags = {}
    for tag, n in pairs(host.Allocations()) do tags[#tags + 1] = tag .. "=" .. n end
    table.sort(tags)
    return table.concat(tags, ",") .. " files=" .. host.OpenFiles()
end

local tests = {}

function tests.read_mode_is_the_default_and_uses_a_host_file()
    zip.OpenArchive(1, two)
    T.eq(host.OpenFiles(), 1, "host files while open")
    T.eq(count(1), 2, "entries")
    zip.CloseArchive(1)
    T.eq(host.OpenFiles(), 0, "host files after the close")
    T.eq(listed(), "", "objects")
end

function tests.change_mode_opens_or_creates()
    zip.OpenArchive(1, three, 1004)
    T.eq(count(1), 3, "entries of an existing archive")
    T.eq(host.OpenFiles(), 0, "libzip reads it itself")
    zip.CloseArchive(1)
    local fresh = dir .. "/fresh.zip"
    zip.OpenArchive(1, fresh, 1004)
    T.eq(count(1), 0, "entries of a new archive")
    zip.CloseArchive(1)
    T.eq(T.exists(fresh), false, "an archive with nothing in it is not written")
end

function tests.truncate_mode_starts_empty_and_replaces_the_file_when_written()
    local copy = dir .. "/copy.zip"
    T.write(copy, T.read(three))
    zip.OpenArchive(1, copy, 1006)
    T.eq(count(1), 0, "entries")
    zip.CloseArchive(1, 1)
    T.eq(T.read(copy), T.read(three), "discarded: the file as it was")
    -- A file that is not an archive can be started afresh as well.
    zip.OpenArchive(1, not_zip, 1006)
    T.eq(count(1), 0, "entries")
    zip.CloseArchive(1, 1)
    zip.OpenArchive(1, copy, 1006)
    zip.CloseArchive(1)
    T.eq(T.exists(copy), false, "an empty archive written leaves no file")
end

function tests.archives_that_cannot_be_opened_name_their_file()
    local cases = {
        {dir .. "/missing.zip", 1005},
        {dir .. "/missing.zip", nil},
        {not_zip, 1005},
        {not_zip, 1004},
        {dir, 1005},
        {dir .. "/no/such/folder/x.zip", 1005},
    }
    for _, c in ipairs(cases) do
        local what = ("%s in mode %s"):format(c[1], tostring(c[2]))
        zip.OpenArchive(1, two)
        T.raises("Error opening zip archive " .. c[1] .. "!", zip.OpenArchive, 1, c[1], c[2])
        T.eq(listed(), "", what .. ": the older archive under 1 is gone, no new one came")
        T.no_leaks(what)
    end
    T.eq(T.read(not_zip), "plain text, not an archive\n", "the text file is untouched")
end

function tests.automatic_identifiers_are_handles_of_their_own()
    local a = zip.OpenArchive(nil, two)
    local b = zip.OpenArchive(nil, three, 1004)
    zip.OpenArchive(0, two)
    T.eq(type(a), "userdata", "an automatic identifier")
    T.eq(a ~= b, true, "two handles differ")
    T.eq(select("#", zip.OpenArchive(5, two)), 0, "a numeric open returns nothing")
    T.eq(listed(), ("%s,%s,0,5"):format(tostring(a), tostring(b)), "objects in opening order")
    T.eq(count(a), 2, "entries through a")
    T.eq(count(b), 3, "entries through b")
    T.eq(count(0), 2, "numeric 0 is not an automatic identifier")
    zip.CloseArchive(a)
    T.raises("Cannot find specified zip archive!", zip.CloseArchive, a)
    T.raises("Cannot find specified zip archive!", count, a)
    zip.CloseArchive(b, 1)
    zip.CloseArchive(0)
    zip.CloseArchive(5)
end

function tests.new_archives_go_to_the_tail_and_a_number_names_one_archive()
    for _, id in ipairs({3, 1, 2}) do zip.OpenArchive(id, two) end
    T.eq(listed(), "3,1,2", "opening order")
    zip.OpenArchive(1, three)
    T.eq(listed(), "3,2,1", "a reopened number moves to the tail")
    T.eq(count(1), 3, "1 names the second file")
    T.eq(count(2), 2, "2 is untouched")
    zip.CloseArchive(2)
    T.eq(listed(), "3,1", "closing from the middle")
    zip.CloseArchive(3)
    zip.CloseArchive(1)
    T.eq(listed(), "", "all closed")
end

function tests.entry_count_attribute()
    zip.OpenArchive(1, dir .. "/empty-new.zip", 1006)
    T.eq(count(1), 0, "an empty new archive")
    T.eq(math.type(count(1)), "integer", "a whole number")
    zip.OpenArchive(2, three)
    T.eq(count(2), 3, "three entries")
    for _, attribute in ipairs({0, 1, 32767, 32769, -32768, 65536}) do
        T.raises("Unknown attribute for this object type!", host.GetAttribute, TYPE, 2, attribute)
        T.eq(host.LastErrorCode(), 1080, "code for attribute " .. attribute)
    end
    zip.CloseArchive(1)
    zip.CloseArchive(2)
    T.raises("Cannot find specified zip archive!", count, 2)
    T.raises("Cannot find specified zip archive!", count, 77)
end

function tests.closing_twice_or_an_unknown_identifier()
    zip.OpenArchive(1, two)
    zip.CloseArchive(1)
    T.raises("Cannot find specified zip archive!", zip.CloseArchive, 1)
    T.raises("Cannot find specified zip archive!", zip.CloseArchive, 1, 1)
    T.raises("Cannot find specified zip archive!", zip.CloseArchive, 1.5)
    -- The archive is looked for before the callback is checked.
    T.raises("Cannot find specified zip archive!", zip.CloseArchive, 9, 0, "not a function")
end

function tests.arguments_are_checked_before_anything_is_done()
    zip.OpenArchive(1, two)
    local held = holdings()
    -- A callback that is not a function: the host's error, the archive still open.
    for _, callback in ipairs({"5", "{}", "nil", "'f'"}) do
        local close = load("zip.CloseArchive(1, 0, " .. callback .. ")")
        T.raises("function expected", close)
        T.eq(listed(), "1", "still open after a bad callback " .. callback)
        T.eq(holdings(), held, "nothing taken by a bad callback " .. callback)
    end
    T.raises("number expected", zip.CloseArchive, 1, "keep")
    T.raises("bad argument #2", zip.OpenArchive, 1)
    T.raises("bad argument #2", zip.OpenArchive, {}, nil)
    T.raises("bad argument #1", zip.OpenArchive, {}, two)
    T.raises("bad argument #3", zip.OpenArchive, 1, two, "read")
    T.eq(listed(), "1", "a refused open discards nothing")
    T.raises("Argument value is not acceptable!", zip.OpenArchive, 1, two, 1003)
    T.eq(host.LastErrorCode(), 1055, "code of an unknown mode")
    T.eq(listed(), "1", "nor does an unknown mode")
    zip.CloseArchive(1)
end

-- Every allocation of zip.OpenArchive fails in turn until it succeeds.
function tests.allocation_failures_leave_nothing_behind()
    local cases = {
        {"read mode", two, 1005, 3},
        {"change mode", three, 1004, 2},
        {"truncate mode", dir .. "/never.zip", 1006, 2},
    }
    for _, c in ipairs(cases) do
        local what, path, mode, succeedsAt = c[1], c[2], c[3], c[4]
        for _, automatic in ipairs({false, true}) do
            local k = 1
            while true do
                if not automatic then zip.OpenArchive(4, two) end
                host.FailAlloc(k)
                local ok, result = pcall(zip.OpenArchive, automatic and nil or 4, path, mode)
                host.FailAlloc(0)
                local at = ("%s, allocation %d"):format(what, k)
                if ok then
                    T.eq(k, succeedsAt, at .. ": allocations of an open")
                    zip.CloseArchive(automatic and result or 4, 1)
                    break
                end
                local expected = k == 1 and "Out of memory!" or "Error opening zip archive " .. path
                T.eq(result:find(expected, 1, true) ~= nil, true, at .. ": " .. result)
                T.eq(listed(), "", at .. ": objects")
                T.no_leaks(at)
                k = k + 1
            end
        end
    end
end

function tests.object_type_is_a_number_the_host_knows()
    T.eq(math.type(TYPE), "integer", "type id")
    T.eq(zip.GetObjectType("ignored", 1), TYPE, "extra arguments are ignored")
    T.eq(host.Objects(TYPE)[1], nil, "no objects")
end

T.suite(tests)

-- Left open on purpose: FreeLibrary releases them when the script ends, and
-- --check-leaks fails the run if anything stays behind.
zip.OpenArchive(1, two)
zip.OpenArchive(2, three, 1004)
zip.OpenArchive(nil, dir .. "/pending.zip", 1006)
