-- unzipall: extracts every entry of a zip archive into a folder, recreating
-- its directories, with a progress bar per entry.
--
--   cvxhost examples/unzipall.lua [--password PW] ARCHIVE [FOLDER]
--
-- FOLDER defaults to the archive's name without ".zip". Encrypted entries
-- need --password; without it they are named and skipped. Entry names that
-- would reach outside FOLDER (absolute, or with "..") are skipped too.
-- Without arguments it makes a demo archive and extracts it twice, without
-- and with its password.
package.path = (arg[0]:match("^(.*)/") or ".") .. "/lib/?.lua;" .. package.path
local common = require("common")

local function usage()
    print("usage: unzipall.lua [--password PW] ARCHIVE [FOLDER]")
    os.exit(2)
end

local function parse(args)
    local options = {}
    local i = 1
    while args[i] and args[i]:sub(1, 2) == "--" do
        if args[i] == "--password" and args[i + 1] then
            options.password = args[i + 1]
            i = i + 2
        else
            usage()
        end
    end
    options.archive, options.folder = args[i], args[i + 1]
    if not options.archive or args[i + 2] then usage() end
    options.folder = options.folder or options.archive:gsub("%.[zZ][iI][pP]$", "")
    return options
end

local function safe(name)
    if name:sub(1, 1) == "/" or name:find("\\", 1, true) then return false end
    for part in name:gmatch("[^/]+") do
        if part == ".." then return false end
    end
    return true
end

-- Makes the folder and every folder that an entry lies in, each once, before
-- anything is extracted.
local function makeFolders(id, options)
    local seen, folders = {}, {options.folder}
    for i = 0, common.entryCount(id) - 1 do
        local name = zip.GetFileAtIndex(id, i)
        local folder = safe(name) and name:match("^(.*)/")
        if folder and not seen[folder] then
            seen[folder] = true
            folders[#folders + 1] = options.folder .. "/" .. folder
        end
    end
    common.mkdirs(folders)
end

-- Extracts entry i; returns "ok", "skipped" or "failed".
local function extractEntry(id, i, options)
    local name = zip.GetFileAtIndex(id, i)
    local target = options.folder .. "/" .. name
    if not safe(name) then
        print(("  %-28s skipped: the name leads outside the folder"):format(name))
        return "skipped"
    end
    if name:sub(-1) == "/" then return "ok" end  -- made with the others beforehand
    local t = zip.GetFileAttributes(id, i)
    if t.encryption ~= ZIP_EM_NONE and not options.password then
        print(("  %-28s skipped: encrypted (%s); give --password"):format(name,
            common.encryptionName(t.encryption)))
        return "skipped"
    end
    local bar = common.bar(name, math.max(t.size, 0))
    local ok, message = pcall(zip.ExtractFile, id, i, target,
                              {password = options.password, callback = bar:callback()})
    if not ok then
        local reason = common.reason(message)
        if t.encryption ~= ZIP_EM_NONE then reason = reason .. " (wrong password?)" end
        bar:abandon("failed: " .. reason)
        return "failed"
    end
    bar:finish()
    return "ok"
end

local function unzipall(options)
    local opened, id = pcall(zip.OpenArchive, nil, options.archive)
    if not opened then
        print(common.reason(id))
        return false
    end
    print(("%s -> %s/"):format(options.archive, options.folder))
    makeFolders(id, options)
    local count = {ok = 0, skipped = 0, failed = 0}
    for i = 0, common.entryCount(id) - 1 do
        local result = extractEntry(id, i, options)
        count[result] = count[result] + 1
    end
    zip.CloseArchive(id)
    print(("%d extracted, %d skipped, %d failed"):format(count.ok, count.skipped, count.failed))
    return count.failed == 0
end

-- A demo archive: a folder, a large entry, a small one and an encrypted one.
local function makeDemo(dir)
    local path = dir .. "/demo.zip"
    common.write(dir .. "/big.txt", common.sampleText(400000, 4))
    common.write(dir .. "/small.txt", "small\n")
    common.write(dir .. "/secret.txt", "the password was 'demo'\n")
    common.write(dir .. "/accents.txt", "a name longer than the progress label\n")
    zip.OpenArchive(1, path, 1006)
    zip.AddDirectory(1, "empty")
    zip.AddFile(1, dir .. "/big.txt", {newname = "texts/big.txt"})
    zip.AddFile(1, dir .. "/small.txt", {newname = "texts/small/small.txt"})
    zip.AddFile(1, dir .. "/secret.txt", {encryption = ZIP_EM_AES_256, password = "demo"})
    zip.AddFile(1, dir .. "/accents.txt", {newname = "texts/x" .. ("\u{e9}"):rep(20) .. ".txt"})
    zip.CloseArchive(1)
    return path
end

if select("#", ...) > 0 then
    if not unzipall(parse({...})) then os.exit(1) end
else
    -- The demo checks itself: no line it prints cuts a character in two.
    local print = print
    _ENV.print = function(line)
        assert(utf8.len(line or ""), "a cut character in: " .. tostring(line))
        print(line)
    end
    local dir = common.tempdir()
    local archive = makeDemo(dir)
    unzipall({archive = archive, folder = dir .. "/without"})
    print()
    local ok = unzipall({archive = archive, folder = dir .. "/with", password = "demo"})
    assert(ok and common.read(dir .. "/with/texts/big.txt") == common.read(dir .. "/big.txt"),
           "the demo did not extract what it archived")
    common.remove(dir)
end
