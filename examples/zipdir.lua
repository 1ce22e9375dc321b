-- zipdir: archives a folder with everything below it, with a progress bar
-- while the archive is written.
--
--   cvxhost examples/zipdir.lua [--store | --level N] FOLDER [ARCHIVE]
--
-- ARCHIVE defaults to FOLDER .. ".zip" and is replaced if it exists. Entry
-- names are the paths below FOLDER; folders get entries of their own, so
-- empty ones survive. Symbolic links (to files or folders, broken or not) are
-- neither followed nor stored, and FIFOs, sockets and devices are not read:
-- each is skipped with a line that says so. Without arguments it archives a
-- demo folder it makes, with a link loop, a broken link and a FIFO in it.
package.path = (arg[0]:match("^(.*)/") or ".") .. "/lib/?.lua;" .. package.path
local common = require("common")

local function usage()
    print("usage: zipdir.lua [--store | --level N] FOLDER [ARCHIVE]")
    os.exit(2)
end

local function parse(args)
    local options = {compression = ZIP_CM_DEFAULT, level = 0}
    local i = 1
    while args[i] and args[i]:sub(1, 2) == "--" do
        if args[i] == "--store" then
            options.compression, i = ZIP_CM_STORE, i + 1
        elseif args[i] == "--level" and tonumber(args[i + 1]) then
            options.compression, options.level, i = ZIP_CM_DEFLATE, tonumber(args[i + 1]), i + 2
        else
            usage()
        end
    end
    options.folder = args[i] and args[i]:gsub("/+$", "")
    options.archive = args[i + 1] or (options.folder and options.folder .. ".zip")
    if not options.folder or options.folder == "" or args[i + 2] then usage() end
    return options
end

-- Adds every file and folder below options.folder to the open archive id;
-- returns the number of entries and the bytes the files hold. The host
-- lists a link as "link" and a FIFO, socket or device as "other".
local function addTree(id, options)
    local entries, bytes = 0, 0
    for _, e in ipairs(common.walk(options.folder)) do
        local path = options.folder .. "/" .. e.path
        -- An older copy of the archive being made is not put into itself.
        if path == options.archive then
        elseif e.kind == "directory" then
            zip.AddDirectory(id, e.path)
            entries = entries + 1
        elseif e.kind == "file" then
            zip.AddFile(id, path, {newname = e.path, compression = options.compression,
                                   compressionflags = options.level})
            bytes, entries = bytes + e.size, entries + 1
        else
            print(("skipped %s (%s)"):format(e.path, e.kind == "link" and "a link" or "not a file"))
        end
    end
    return entries, bytes
end

local function zipdir(options)
    local st = host.Stat(options.folder)
    if not st or st.kind ~= "directory" then
        print(options.folder .. ": not a folder")
        return false
    end
    zip.OpenArchive(1, options.archive, 1006)
    local ok, entries, bytes = pcall(addTree, 1, options)
    if not ok then
        zip.CloseArchive(1, 1)
        print(common.reason(entries))
        return false
    end
    print(("%s: %d entries, %s"):format(options.archive, entries, common.size(bytes)))
    -- The files' data is read and compressed now, while the archive is written.
    local bar = common.bar("writing " .. options.archive:match("[^/]*$"), bytes)
    local written, message = pcall(zip.CloseArchive, 1, 0, bar:callback())
    if not written then
        bar:abandon("failed: " .. common.reason(message))
        return false
    end
    local size = host.Stat(options.archive)
    bar:finish(size and "-> " .. common.size(size.size) or nil)
    return true
end

-- A demo folder: texts that compress well, one that does not, nested and
-- empty folders, and what a backup must not follow or read: a link to a
-- folder above (a loop), a broken link and a FIFO.
local function makeDemo(dir)
    local root = dir .. "/project"
    common.mkdir(root .. "/src/lib")
    common.mkdir(root .. "/empty")
    local q = common.quote
    assert(os.execute(("ln -s .. %s && ln -s missing %s && mkfifo %s"):format(
        q(root .. "/src/up"), q(root .. "/broken"), q(root .. "/src/fifo"))))
    common.write(root .. "/README", common.sampleText(2000, 5))
    common.write(root .. "/src/main.lua", common.sampleText(30000, 6))
    common.write(root .. "/src/lib/data.txt", common.sampleText(600000, 7))
    local noise, state = {}, 7
    for i = 1, 20000 do
        state = (state * 1103515245 + 12345) % 2147483648
        noise[i] = string.char(state >> 16 & 255)
    end
    common.write(root .. "/src/lib/noise.bin", table.concat(noise))
    return root
end

local options
local demo
if select("#", ...) > 0 then
    options = parse({...})
else
    demo = common.tempdir()
    options = {compression = ZIP_CM_DEFAULT, level = 0, folder = makeDemo(demo)}
    options.archive = options.folder .. ".zip"
end
local ok = zipdir(options)
if demo then
    -- The demo checks itself: every file comes back through the archive path,
    -- and nothing that was skipped is in the archive.
    for _, e in ipairs(common.walk(options.folder)) do
        local stored = options.archive .. "/" .. e.path
        if e.kind == "file" then
            assert(host.ReadFile(stored) == common.read(options.folder .. "/" .. e.path), e.path)
        elseif e.kind ~= "directory" then
            assert(not host.Stat(stored), e.path .. " stored")
        end
    end
    common.remove(demo)
end
if not ok then os.exit(1) end
