-- zip.ExtractFile on archives made by python's zipfile, Info-ZIP zip and
-- 7-Zip: blocks and progress, callbacks, passwords, corrupt entries, faults,
-- and the guard that keeps an archive whole while its callback runs.
local T = require("testlib")
local F = require("reading_fixtures")

local ZIP_ERROR = "A zip error has occurred!"

-- Extracts with a callback that records each progress table.
local function extract_recording(id, index, destination, options)
    local seen = {}
    options = options or {}
    options.callback = options.callback or function(t)
        seen[#seen + 1] = {action = t.action, id = t.id, progress = t.progress,
                           userdata = t.userdata, inside = host.InCallback()}
    end
    zip.ExtractFile(id, index, destination, options)
    return seen
end

local function progress_of(seen)
    local p = {}
    for i, t in ipairs(seen) do p[i] = t.progress end
    return table.concat(p, ",")
end

-- The four sizes of the "sizes" fixture, with the progress each block reports.
local SIZES = {
    {name = "e0", progress = ""},
    {name = "e65536", progress = "100"},
    {name = "e65537", progress = "99,100"},
    {name = "e150000", progress = "43,87,100"},
}

-- Nothing of the command's own is left: no password copy, no buffer, and
-- only the archive's file open.
local function left_nothing(what)
    local live = host.Allocations()
    T.eq(live.tstring, nil, what .. ": password copies")
    T.eq(live.savefile, nil, what .. ": buffers")
    T.eq(host.OpenFiles(), 1, what .. ": open files")
end

local tests = {}

function tests.blocks_and_progress_of_stored_and_deflated_entries()
    local deflated, payload = F.python("sizes")
    local stored = T.tmpdir() .. "/stored.zip"
    F.tool(payload, ("zip -q -0 '%s' e0 e65536 e65537 e150000"):format(stored))
    for _, archive in ipairs({deflated, stored}) do
        F.with_archive(1, archive, function()
            local out = T.tmpdir()
            for _, case in ipairs(SIZES) do
                local index = zip.LocateFile(1, case.name)
                local seen = extract_recording(1, index, out .. "/" .. case.name)
                local what = archive .. " " .. case.name
                T.eq(T.read(out .. "/" .. case.name), T.read(payload .. "/" .. case.name), what)
                T.eq(progress_of(seen), case.progress, what)
                for _, t in ipairs(seen) do
                    T.eq(t.action, "ExtractFile", what)
                    T.eq(t.id, 1, what)
                    T.eq(t.userdata, nil, what)
                    T.eq(t.inside, true, what .. ": host tag 31 during the callback")
                end
                T.eq(host.InCallback(), false, what .. ": host tag 31 after")
            end
        end)
    end
end

function tests.a_callback_that_raises_ends_the_copy_after_its_block()
    local archive = F.python("sizes")
    F.with_archive(1, archive, function()
        local out = T.tmpdir() .. "/out"
        local calls = 0
        local stop = {reason = "enough"}
        local ok, err = pcall(zip.ExtractFile, 1, zip.LocateFile(1, "e150000"), out,
                              {callback = function() calls = calls + 1; error(stop) end})
        T.eq(ok, false, "result")
        T.eq(err, stop, "the callback's own error value")
        T.eq(calls, 1, "calls")
        T.eq(#T.read(out), 65536, "bytes left")
        T.eq(host.InCallback(), false, "host tag 31 after the error")

        T.raises("plain message", zip.ExtractFile, 1, zip.LocateFile(1, "e65536"), out,
                 {callback = function() error("plain message") end})
        -- What a callback returns is dropped; it does not stop the copy.
        local seen = 0
        zip.ExtractFile(1, zip.LocateFile(1, "e150000"), out, {callback = function()
            seen = seen + 1
            return false, "stop", nil
        end})
        T.eq(seen, 3, "calls of a callback that returns values")
        T.eq(#T.read(out), 150000, "bytes")
    end)
end

function tests.userdata_and_identifiers_in_the_progress_table()
    local archive, payload = F.python("sizes")
    local out = T.tmpdir()
    local handle = zip.OpenArchive(nil, archive)
    local data = {"any value"}
    local seen = extract_recording(handle, zip.LocateFile(handle, "e65537"), out .. "/a",
                                   {userdata = data})
    T.eq(#seen, 2, "calls")
    T.eq(seen[1].id, handle, "an automatic identifier is handed back as its handle")
    T.eq(seen[2].userdata, data, "userdata is the value itself")
    -- userdata without a callback, and keys the command does not know
    zip.ExtractFile(handle, zip.LocateFile(handle, "e65537"), out .. "/b",
                    {userdata = 5, nocase = 1, progress = print})
    T.eq(T.read(out .. "/b"), T.read(payload .. "/e65537"), "data")
    -- arguments past the option table are ignored
    zip.ExtractFile(handle, 0, out .. "/c", {}, "extra", 7)
    zip.CloseArchive(handle)
end

function tests.bad_arguments_touch_nothing()
    local archive = F.python("sizes")
    F.with_archive(1, archive, function()
        local out = T.tmpdir()
        local dst = out .. "/never"
        for _, index in ipairs({-1, 4, 1e10, -1e10}) do
            T.raises(ZIP_ERROR, zip.ExtractFile, 1, index, dst)
        end
        T.raises("Cannot find specified zip archive!", zip.ExtractFile, 2, 0, dst)
        T.raises("Cannot find specified zip archive!", zip.ExtractFile, 2, 0, dst, "not a table")
        T.eq(T.exists(dst), false, "destination")

        local missing = out .. "/no/such/dir/file"
        T.raises("Cannot open file " .. missing .. " for writing!", zip.ExtractFile, 1, 1, missing)

        -- Argument errors are the host's, and nothing stays behind, not even
        -- the password's copy.
        T.raises("function expected", zip.ExtractFile, 1, 1, dst, {password = "pw", callback = 5})
        T.raises("table expected", zip.ExtractFile, 1, 1, dst, "callback")
        T.raises("string expected", zip.ExtractFile, 1, 1, dst, {password = {}})
        T.raises("number expected", zip.ExtractFile, 1, "first", dst)
        T.eq(T.exists(dst), false, "destination")
        left_nothing("after argument errors")
    end)
end

function tests.traditional_encryption()
    local dir = F.files({["secret.txt"] = ("classified "):rep(10000), ["open.txt"] = "plain"})
    F.tool(dir, "zip -q -P 'pass word' trad.zip secret.txt && zip -q trad.zip open.txt")
    F.with_archive(1, dir .. "/trad.zip", function()
        local secret = zip.LocateFile(1, "secret.txt")
        T.eq(zip.GetFileAttributes(1, secret).encryption, ZIP_EM_TRAD_PKWARE, "method")
        local out = T.tmpdir()
        zip.ExtractFile(1, secret, out .. "/ok", {password = "pass word"})
        T.eq(T.read(out .. "/ok"), T.read(dir .. "/secret.txt"), "data")
        -- A wrong password is noticed at opening (or, rarely, while reading).
        T.raises(ZIP_ERROR, zip.ExtractFile, 1, secret, out .. "/wrong", {password = "pass wort"})
        for _, options in ipairs({{}, {password = ""}, {callback = print}}) do
            T.raises(ZIP_ERROR, zip.ExtractFile, 1, secret, out .. "/none", options)
            T.eq(T.exists(out .. "/none"), false, "no destination without a password")
        end
        -- The default password serves when no "password" is given; an empty
        -- one is no password and does not fall back to it.
        zip.SetDefaultPassword(1, "pass word")
        zip.ExtractFile(1, secret, out .. "/default")
        T.eq(T.read(out .. "/default"), T.read(dir .. "/secret.txt"), "with the default password")
        T.raises(ZIP_ERROR, zip.ExtractFile, 1, secret, out .. "/empty", {password = ""})
        T.eq(T.exists(out .. "/empty"), false, "an empty password")
        zip.SetDefaultPassword(1, "")
        -- A password for an entry that is not encrypted does no harm.
        zip.ExtractFile(1, zip.LocateFile(1, "open.txt"), out .. "/open", {password = "x"})
        T.eq(T.read(out .. "/open"), "plain", "unencrypted entry")
    end)
end

-- 7-Zip writes AES entries in the AE-2 form, without a CRC, which libzip
-- wrongly reports as a CRC error at the end of the data: they must extract.
function tests.aes_entries_from_7zip_extract()
    local dir = F.files({["text.txt"] = ("aes "):rep(50000), ["noise.bin"] = F.noise(140000, 9),
                         ["tiny.txt"] = "t", ["empty.txt"] = ""})
    local files = "text.txt noise.bin tiny.txt empty.txt"
    F.tool(dir, "7zz a -bd -tzip -mem=AES256 -pSecret aes.zip " .. files .. " >/dev/null")
    F.tool(dir, "7zz a -bd -tzip -mem=AES256 -mx0 -pSecret stored.zip " .. files .. " >/dev/null")
    for _, archive in ipairs({"aes.zip", "stored.zip"}) do
        F.with_archive(1, dir .. "/" .. archive, function()
            local out = T.tmpdir()
            for name in files:gmatch("%S+") do
                local index = zip.LocateFile(1, name)
                local a = zip.GetFileAttributes(1, index)
                T.eq(a.encryption, ZIP_EM_AES_256, archive .. " " .. name .. " method")
                T.eq(a.crc32, 0, archive .. " " .. name .. ": AE-2 records no CRC")
                local seen = extract_recording(1, index, out .. "/" .. name, {password = "Secret"})
                T.eq(T.read(out .. "/" .. name), T.read(dir .. "/" .. name), archive .. " " .. name)
                if #seen > 0 then T.eq(seen[#seen].progress, 100, name .. " progress") end
            end
            local index = zip.LocateFile(1, "noise.bin")
            for _, options in ipairs({{password = "Secrets"}, {password = ""}, {}}) do
                T.raises(ZIP_ERROR, zip.ExtractFile, 1, index, out .. "/bad", options)
                T.eq(T.exists(out .. "/bad"), false, archive .. ": a wrong AES password creates nothing")
            end
            zip.SetDefaultPassword(1, "Secret")
            zip.ExtractFile(1, index, out .. "/default")
            T.eq(T.read(out .. "/default"), T.read(dir .. "/noise.bin"), archive .. ": default password")
            T.raises(ZIP_ERROR, zip.ExtractFile, 1, index, out .. "/empty", {password = ""})
            T.eq(T.exists(out .. "/empty"), false, archive .. ": an empty password")
        end)
    end
end

function tests.entries_with_data_descriptors_and_directories()
    local archive, payload = F.python("descriptors")
    F.with_archive(1, archive, function()
        local out = T.tmpdir()
        for i, name in ipairs({"streamed.bin", "small.txt"}) do
            zip.ExtractFile(1, i - 1, out .. "/" .. name)
            T.eq(T.read(out .. "/" .. name), T.read(payload .. "/" .. name), name)
        end
    end)
    local names = F.python("names")
    F.with_archive(1, names, function()
        local out = T.tmpdir() .. "/dir"
        local seen = extract_recording(1, zip.LocateFile(1, "dir/"), out)
        T.eq(T.read(out), "", "a directory entry gives an empty file")
        T.eq(#seen, 0, "and no callback")
    end)
end

-- A corrupt entry never extracts as a success; the destination keeps what
-- was written before the fault showed.
function tests.corrupt_entries_fail()
    local cases = {
        {kind = "bad-crc", bytes = 100000, progress = "65,100"},
        {kind = "size-short", bytes = 99999, progress = "65,100"},  -- data beyond its size
        {kind = "size-long", bytes = 65536, progress = "65"},       -- data ends early
    }
    for _, case in ipairs(cases) do
        local archive, payload = F.python(case.kind)
        F.with_archive(1, archive, function()
            local out = T.tmpdir()
            local seen = {}
            T.raises(ZIP_ERROR, zip.ExtractFile, 1, 0, out .. "/victim",
                     {callback = function(t) seen[#seen + 1] = {progress = t.progress} end})
            T.eq(#T.read(out .. "/victim"), case.bytes, case.kind .. " bytes written")
            T.eq(progress_of(seen), case.progress, case.kind .. " progress")
            T.eq(T.read(out .. "/victim"), T.read(payload .. "/victim.bin"):sub(1, case.bytes),
                 case.kind .. " data written")
            zip.ExtractFile(1, 1, out .. "/fine")
            T.eq(T.read(out .. "/fine"), "fine", case.kind .. ": the next entry")
        end)
    end
end

-- Fail each allocation of the command in turn (the password's copy, then the
-- buffer), then none.
function tests.allocation_failures()
    local dir = F.files({["secret.txt"] = ("s"):rep(70000)})
    F.tool(dir, "zip -q -P pw trad.zip secret.txt")
    F.with_archive(1, dir .. "/trad.zip", function()
        local out = T.tmpdir()
        local outcomes = {}
        for k = 1, 10 do
            local dst = ("%s/%d"):format(out, k)
            host.FailAlloc(k)
            local ok, err = pcall(zip.ExtractFile, 1, 0, dst, {password = "pw"})
            host.FailAlloc(0)
            left_nothing("allocation " .. k)
            local file = T.exists(dst) and #T.read(dst) or "none"
            outcomes[k] = (ok and "ok" or tostring(err):match("[^:]*$"):gsub("^ ", "")) .. "/" .. file
            if ok then break end
        end
        T.eq(table.concat(outcomes, "; "),
             -- Without its copy the password counts as absent: there is no default one.
             ZIP_ERROR .. "/none; Out of memory!/0; ok/70000", "outcomes")
    end)
end

function tests.host_faults_while_copying()
    local archive = F.python("sizes")
    F.with_archive(1, archive, function()
        local out = T.tmpdir() .. "/out"
        local big = zip.LocateFile(1, "e150000")
        host.FailIo("write", 2)
        T.raises("Could not write all data to the file!", zip.ExtractFile, 1, big, out)
        T.eq(#T.read(out), 65536, "bytes after a failed write")
        host.FailIo("call", 1)
        T.raises("injected callback failure", zip.ExtractFile, 1, big, out, {callback = print})
        T.eq(#T.read(out), 65536, "bytes after a failed callback")
        host.FailIo("open", 1)
        T.raises("Cannot open file " .. out .. " for writing!", zip.ExtractFile, 1, big, out)
        host.FailIo("read", 1)
        T.raises(ZIP_ERROR, zip.ExtractFile, 1, big, out)
        host.FailIo("read", 0)
        zip.ExtractFile(1, big, out)
        T.eq(#T.read(out), 150000, "bytes once the faults are gone")
    end)
end

-- While a callback runs, its archive may be read but not closed, reopened
-- or changed; nested extractions work; the guard goes on every path out.
function tests.the_callback_guard()
    local archive, payload = F.python("sizes")
    local other = F.python("names")
    local out = T.tmpdir()
    zip.OpenArchive(1, archive)
    zip.OpenArchive(2, other)
    zip.OpenArchive(3, other)
    local big, mid = zip.LocateFile(1, "e150000"), zip.LocateFile(1, "e65537")
    local log = {}
    local function try(what, f, ...)
        local ok, err = pcall(f, ...)
        log[#log + 1] = what .. "=" .. (ok and "ok" or (tostring(err):find(ZIP_ERROR, 1, true)
                                                        and "refused" or tostring(err)))
    end
    zip.ExtractFile(1, big, out .. "/outer", {callback = function(t)
        if t.progress ~= 43 then return end
        try("close", zip.CloseArchive, 1)
        try("reopen", zip.OpenArchive, 1, other)
        try("name", zip.GetFileAtIndex, 1, 0)
        try("locate", zip.LocateFile, 1, "e0")
        try("attributes", zip.GetFileAttributes, 1, big)
        try("nested", zip.ExtractFile, 1, mid, out .. "/nested", {callback = function()
            try("inner close", zip.CloseArchive, 1)
        end})
        -- A nested extraction from another archive releases only its own guard.
        try("other", zip.ExtractFile, 2, zip.LocateFile(2, "a.txt"), out .. "/other",
            {callback = function() try("close from other", zip.CloseArchive, 1) end})
        try("close from outer", zip.CloseArchive, 1)
        try("close another", zip.CloseArchive, 3)
    end})
    T.eq(table.concat(log, " "), "close=refused reopen=refused name=ok locate=ok attributes=ok " ..
         "inner close=refused inner close=refused nested=ok close from other=refused other=ok " ..
         "close from outer=refused close another=ok", "log")
    T.eq(T.read(out .. "/outer"), T.read(payload .. "/e150000"), "outer data")
    T.eq(T.read(out .. "/nested"), T.read(payload .. "/e65537"), "nested data")
    T.eq(T.read(out .. "/other"), "a at the top", "data from the other archive")
    T.eq(zip.GetFileAtIndex(1, 0), "e0", "the archive is the one opened")

    -- Deleting and renaming: refused on the guarded archive, not on another.
    zip.CloseArchive(2)
    local copy = out .. "/copy.zip"
    T.sh(("cp '%s' '%s'"):format(other, copy))
    zip.OpenArchive(2, copy, 1004)
    log = {}
    zip.ExtractFile(1, mid, out .. "/edits", {callback = function(t)
        if t.progress ~= 99 then return end
        try("delete", zip.DeleteFile, 1, 0)
        try("rename", zip.RenameFile, 1, 0, "renamed")
        try("delete other", zip.DeleteFile, 2, 0)
        try("rename other", zip.RenameFile, 2, 2, "renamed")
    end})
    T.eq(table.concat(log, " "), "delete=refused rename=refused delete other=ok rename other=ok",
         "edits")
    T.eq(zip.GetFileAtIndex(1, 0), "e0", "the guarded archive is unchanged")
    T.eq(zip.LocateFile(2, "renamed"), 2, "the other archive is changed")
    zip.CloseArchive(2, 1)
    zip.OpenArchive(2, other)

    -- The guard goes with a callback that raises, too.
    T.raises("out", zip.ExtractFile, 1, big, out .. "/x", {callback = function() error("out") end})
    zip.CloseArchive(1)
    zip.CloseArchive(2)
end

T.suite(tests)
