-- Archive objects as a script sees them.
local T = require("testlib")

local TYPE = zip.GetObjectType()
local dir = T.files({["a.txt"] = "alpha\n", ["b.txt"] = "beta\n", x = "x", y = "yy", z = "zzz",
                     ["text.zip"] = "plain text, not an archive\n",
                     ["big.txt"] = ("0123456789abcdef"):rep(12500)},
                    "zip -q -X two.zip a.txt b.txt && zip -q -X three.zip x y z && zip -q -X big.zip big.txt")
local two, three, not_zip = dir .. "/two.zip", dir .. "/three.zip", dir .. "/text.zip"

local function listed()
    local ids = {}
    for _, id in ipairs(host.Objects(TYPE)) do ids[#ids + 1] = tostring(id) end
    return table.concat(ids, ",")
end

local tests = {}

function tests.truncate_mode_starts_empty_and_replaces_the_file_when_written()
    local copy = T.write(dir .. "/copy.zip", T.read(three))
    zip.OpenArchive(1, not_zip, 1006)  -- a file that is not an archive, too
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
    for _, id in ipairs({3, 0, 2}) do T.eq(select("#", zip.OpenArchive(id, two)), 0, "numeric open " .. id) end
    zip.OpenArchive(3, three)
    T.eq(listed(), ("%s,%s,0,2,3"):format(tostring(a), tostring(b)), "a reopened number goes to the tail")
    T.eq(("%d %d %d %d"):format(T.count(a), T.count(b), T.count(0), T.count(3)), "2 3 2 3", "entries")
    for _, id in ipairs({a, 0}) do zip.CloseArchive(id) end
    T.eq(listed(), ("%s,2,3"):format(tostring(b)), "closing from the head and the middle")
    for _, id in ipairs({a, 0, 77, 7.5}) do
        T.raises(T.NO_ARCHIVE, zip.CloseArchive, id, 1)
        T.raises(T.NO_ARCHIVE, T.count, id)
    end
    T.raises(T.NO_ARCHIVE, zip.CloseArchive, 9, 0, "not a function")  -- before the callback
    for _, a in ipairs({0, 1, 32767, 32769, -32768, 65536}) do T.raises(1080, host.GetAttribute, TYPE, 2, a) end
    T.eq(math.type(T.count(2)), "integer", "the entry count is a whole number")
    for _, id in ipairs({b, 2, 3}) do zip.CloseArchive(id, 1) end
end

function tests.arguments_are_checked_before_anything_is_done()
    zip.OpenArchive(1, two)
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

-- Modes and the discard argument are truncated; an unknown mode is refused before anything
-- is touched. Only the read mode opens the archive through a host file.
function tests.modes_are_truncated_and_unknown_ones_refused_first()
    local copy, fresh = T.write(dir .. "/modes.zip", T.read(two)), dir .. "/fresh.zip"
    zip.OpenArchive(1, copy, 1004)
    zip.AddDirectory(1, "pending")
    for _, mode in ipairs({1003, 1007, 0, -1005, 1e12, -1e12, 0 / 0, 1005.9e3}) do
        T.raises(1055, zip.OpenArchive, 1, fresh, mode)
        T.eq(listed(), "1", "mode " .. mode .. ": archive 1 stays open")
    end
    T.eq(T.exists(fresh), false, "a file made")
    for _, case in ipairs({{1005.9, 1}, {1004.9, 0}, {1006.999, 0}, {nil, 1}}) do
        zip.OpenArchive(2, two, case[1])
        T.eq(host.OpenFiles(), case[2], "mode " .. tostring(case[1]))
        zip.CloseArchive(2, 1)  -- written, 1006 would empty the file
    end
    zip.CloseArchive(1, -0.9)
    T.with_archive(1, copy, function() T.eq(T.count(1), 3, "the pending change written") end)
    for i, case in ipairs({{"nil", 4}, {"0/0", 5}, {"-1.5", 5}, {"1e10", 5}}) do
        zip.OpenArchive(1, copy, 1004)
        zip.AddDirectory(1, "added" .. i)
        load("zip.CloseArchive(1, " .. case[1] .. ")")()
        T.with_archive(1, copy, function() T.eq(T.count(1), case[2], "discard " .. case[1]) end)
    end
end

-- While an archive is written, its progress callback cannot reach it nor stop the writing;
-- opening the same number from the callback makes a new object.
function tests.a_progress_callback_cannot_reach_the_archive_being_written()
    local first, auto = T.write(dir .. "/first.zip", T.read(two)), dir .. "/auto.zip"
    os.remove(auto)
    zip.OpenArchive(1, first, 1004)
    zip.OpenArchive(2, three)
    local handle = zip.OpenArchive(nil, auto, 1006)
    for i = 1, 4 do
        zip.AddFile(1, dir .. "/big.txt", {newname = "bulk" .. i})
        zip.AddFile(handle, dir .. "/big.txt", {newname = "bulk" .. i})
    end
    local function close_meddling(id, objects)
        local attempts = {}
        zip.CloseArchive(id, 0, function()
            attempts[#attempts + 1] = {listed(), select(2, pcall(zip.CloseArchive, id)),
                                       select(2, pcall(zip.CloseArchive, id, 1)), select(2, pcall(T.count, id))}
            error("the callback's own error")
        end)
        T.eq(#attempts >= 3, true, "progress calls")
        for _, a in ipairs(attempts) do
            T.eq(a[1], objects, "listed during the close")
            for i = 2, 4 do T.eq(tostring(a[i]):find(T.NO_ARCHIVE, 1, true) ~= nil, true, tostring(a[i])) end
        end
    end
    close_meddling(1, "2," .. tostring(handle))
    close_meddling(handle, "2")
    T.with_archive(1, auto, function() T.eq(T.count(1), 4, "written") end)

    zip.OpenArchive(1, first, 1004)
    zip.AddDirectory(1, "again")
    local seen = {}
    zip.CloseArchive(1, 0, function()
        seen[#seen + 1] = listed()
        if #seen == 1 then zip.OpenArchive(1, three) end
    end)
    T.eq(seen[1] .. " / " .. seen[2], "2 / 2,1", "listed during the close")
    T.eq(T.count(1), 3, "1 names the other file")
    for id = 1, 2 do zip.CloseArchive(id) end
    T.with_archive(1, first, function() T.eq(T.count(1), 7, "both writings") end)
end

-- Close progress: whole numbers from 0 to 100, never going back, inside
-- host tag 31, with the identifier and userdata (a nil given is none).
function tests.closing_reports_its_progress()
    local target = dir .. "/progress.zip"
    for _, args in ipairs({{7}, {-3, {}}, {"auto", false}, {"auto", nil, n = 2}}) do
        os.remove(target)
        local id = args[1] == "auto" and zip.OpenArchive(nil, target, 1006) or args[1]
        if id == args[1] then zip.OpenArchive(id, target, 1006) end
        for i = 1, 4 do zip.AddFile(id, dir .. "/big.txt", {newname = "big" .. i}) end
        local seen, what = {}, tostring(args[1]) .. ", " .. tostring(args[2])
        zip.CloseArchive(id, 0, function(t)
            local keys = 0
            for _ in pairs(t) do keys = keys + 1 end
            T.fields(t, {action = "CloseArchive", id = id, userdata = args[2]}, what)
            T.eq(keys == (args[2] == nil and 3 or 4) and host.InCallback(), true, what)
            T.eq(math.type(t.progress) == "integer" and t.progress >= (seen[#seen] or 0), true, what)
            seen[#seen + 1] = t.progress
        end, table.unpack(args, 2, args.n or #args))
        T.eq(#seen >= 3 and seen[1] == 0 and seen[#seen] == 100, true, what)
        T.eq(host.InCallback(), false, what .. ": tag 31 after the close")
        T.with_archive(1, target, function() T.eq(T.count(1), 4, what) end)
    end
end

-- A closed archive's handle names no archive, even when the next takes its address.
function tests.a_closed_handle_never_reaches_another_archive()
    local stale = {}
    for round = 1, 4 do
        local copy = T.write(dir .. "/target.zip", T.read(three))
        local h = zip.OpenArchive(nil, copy, 1004)
        for _, old in ipairs(stale) do
            T.eq(rawequal(old, h), false, "round " .. round .. ": a new handle")
            T.raises(T.NO_ARCHIVE, zip.DeleteFile, old, 0)
            T.raises(T.NO_ARCHIVE, T.count, old)
        end
        zip.CloseArchive(h)
        T.eq(T.read(copy), T.read(three), "round " .. round .. ": nothing deleted")
        stale[#stale + 1] = h
    end
end

-- Memory running out in a progress callback never unwinds through libzip: an extraction
-- fails with the memory error, a close writes the archive all the same.
function tests.memory_running_out_in_a_progress_callback()
    local big, out, target = dir .. "/big.zip", dir .. "/big.out", dir .. "/target.zip"
    local function sweep(what, run, check)
        local in_table = 0
        for k = 1, 2000 do
            host.FailVmAlloc(k, "callback")
            local ok, err = pcall(run)
            local failed = host.FailVmAlloc(0) > 0
            T.no_leaks(what .. ", allocation " .. k)
            check(ok, err, failed)
            if not failed then return in_table end
            if tostring(err):find("Out of memory!", 1, true) then in_table = in_table + 1 end
        end
        error(what .. ": the sweep never ended")
    end
    -- The first allocation of a callback is its table's.
    local in_table = sweep("extraction", function()
        T.with_archive(1, big, function()
            zip.ExtractFile(1, 0, out, {callback = function(t) t.seen = true end})
        end)
    end, function(ok, err, failed)
        err = tostring(err)
        T.eq(ok, not failed, "extraction: " .. err)
        assert(ok or err:find("Out of memory!", 1, true) or err:find("not enough memory", 1, true), err)
        if ok then T.eq(T.read(out), T.read(dir .. "/big.txt"), "extracted") end
    end)
    T.eq(in_table > 0, true, "failures while the table was built")
    sweep("close", function()
        T.write(target, T.read(two))
        zip.OpenArchive(1, target, 1004)
        zip.AddFile(1, dir .. "/big.txt")
        zip.CloseArchive(1, 0, function(t) t.seen = true end)
    end, function(ok, err)
        T.eq(ok, true, "close: " .. tostring(err))
        T.with_archive(2, target, function() T.eq(T.count(2), 3, "entries written") end)
        T.eq(T.run("ls " .. T.quote(dir) .. " | grep -c 'target.zip.'"), "0\n", "temporary files")
    end)
end

T.suite(tests)
