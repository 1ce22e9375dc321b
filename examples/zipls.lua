-- zipls: lists zip archives the way `unzip -v` does: sizes, ratio, method,
-- encryption, date, CRC and name of every entry, and a total line.
--
--   cvxhost examples/zipls.lua ARCHIVE...
--
-- Exits with 1 when an archive cannot be opened or listed. Without
-- arguments it lists a demo archive that it makes first.
package.path = (arg[0]:match("^(.*)/") or ".") .. "/lib/?.lua;" .. package.path
local common = require("common")

local function ratio(size, compressed)
    if size <= 0 or compressed < 0 then return "  0%" end
    return ("%3d%%"):format(math.floor(100 - compressed * 100 / size + 0.5))
end

-- One line per entry, in columns as wide as these.
local ROW = "%8s  %-9s %9s %4s  %-10s  %-20s  %8s  %s"

local function list(id, path)
    print("Archive:  " .. path)
    local comment = zip.GetFileComment(id)
    if comment ~= "" then print(comment) end
    print(ROW:format("Length", "Method", "Size", "Cmpr", "Encryption", "Date and time", "CRC-32",
                     "Name"))
    print(ROW:format(("-"):rep(8), ("-"):rep(9), ("-"):rep(9), "----", ("-"):rep(10),
                     ("-"):rep(20), ("-"):rep(8), "----"))
    local totalSize, totalCompressed, files = 0, 0, 0
    for i = 0, common.entryCount(id) - 1 do
        local t = zip.GetFileAttributes(id, i)
        print(ROW:format(t.size, common.compressionName(t.compression), t.compressedsize,
                         ratio(t.size, t.compressedsize), common.encryptionName(t.encryption),
                         t.time, ("%08x"):format(t.crc32), zip.GetFileAtIndex(id, i)))
        totalSize = totalSize + math.max(t.size, 0)
        totalCompressed = totalCompressed + math.max(t.compressedsize, 0)
        files = files + 1
    end
    print(ROW:format(("-"):rep(8), "", ("-"):rep(9), "----", "", "", "", "----"))
    print(ROW:format(totalSize, "", totalCompressed, ratio(totalSize, totalCompressed), "", "", "",
                     ("%d %s"):format(files, files == 1 and "file" or "files")))
end

-- A demo archive with entries stored, deflated and bzip2-compressed, one of
-- them encrypted, a folder and comments.
local function makeDemo(dir)
    local path = dir .. "/demo.zip"
    common.write(dir .. "/readme.txt", common.sampleText(12000, 1))
    common.write(dir .. "/table.csv", common.sampleText(50000, 2))
    common.write(dir .. "/photo.raw", common.sampleText(3000, 3))
    zip.OpenArchive(1, path, 1006)
    zip.AddDirectory(1, "docs")
    zip.AddFile(1, dir .. "/readme.txt", {newname = "docs/readme.txt", comment = "read me first"})
    zip.AddFile(1, dir .. "/table.csv", {compression = ZIP_CM_BZIP2, compressionflags = 9})
    zip.AddFile(1, dir .. "/photo.raw", {compression = ZIP_CM_STORE,
                                          encryption = ZIP_EM_AES_256, password = "demo"})
    zip.SetFileComment(1, "A demo archive made by zipls.lua")
    zip.CloseArchive(1)
    return path
end

-- Lists every archive of paths; the number that could not be listed.
local function listAll(paths)
    local failed = 0
    for i, path in ipairs(paths) do
        if i > 1 then print() end
        local opened, id = pcall(zip.OpenArchive, nil, path)
        local ok, message = opened, id
        if opened then
            ok, message = pcall(list, id, path)
            zip.CloseArchive(id)
        end
        if not ok then
            print(path .. ": " .. common.reason(message))
            failed = failed + 1
        end
    end
    return failed
end

if select("#", ...) > 0 then
    if listAll({...}) > 0 then os.exit(1) end
else
    local demo = common.tempdir()
    assert(listAll({makeDemo(demo)}) == 0, "the demo archive could not be listed")
    assert(listAll({demo .. "/missing.zip"}) == 1, "a missing archive was not counted")
    common.remove(demo)
end
