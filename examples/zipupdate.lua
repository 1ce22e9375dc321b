-- zipupdate: updates an archive in place. Each FILE replaces the entry of the
-- same name (or is added when there is none); a replaced entry keeps its
-- compression, encryption and comment, and takes the file's own time.
--
--   cvxhost examples/zipupdate.lua [--password PW] ARCHIVE FILE...
--
-- There is no replace command: zip.AddFile refuses a name the archive holds.
-- So an entry is deleted and the file added under the same name, which puts
-- it at the end of the archive and keeps nothing of the old entry unless it
-- is copied, as here, from zip.GetFileAttributes and zip.GetFileComment.
-- Entries to be encrypted take PW (or the archive's default password).
-- Without arguments it makes a demo archive, changes a file and updates it.
package.path = (arg[0]:match("^(.*)/") or ".") .. "/lib/?.lua;" .. package.path
local common = require("common")

-- The settings of entry i that a replacement should keep.
local function settingsOf(id, i, password)
    local attributes = zip.GetFileAttributes(id, i)
    local options = {compression = attributes.compression, comment = zip.GetFileComment(id, i)}
    if options.comment == "" then options.comment = nil end
    if attributes.encryption ~= ZIP_EM_NONE then
        options.encryption, options.password = attributes.encryption, password
    end
    -- To keep the old time as well: options.time = attributes.time
    return options
end

-- Replaces or adds each file under its name without folders; true when all went in.
local function update(archive, files, password)
    zip.OpenArchive(1, archive, 1004)
    for _, path in ipairs(files) do
        local name = path:match("[^/]*$")
        local i = zip.LocateFile(1, name)
        local options = i >= 0 and settingsOf(1, i, password) or {}
        if i >= 0 then zip.DeleteFile(1, i) end
        options.newname = name
        local ok, err = pcall(zip.AddFile, 1, path, options)
        print(("%-8s %s%s"):format(i >= 0 and "replaced" or "added", name,
                                   ok and "" or ": " .. common.reason(err)))
        if not ok then
            zip.CloseArchive(1, 1)  -- nothing is written: the archive stays as it was
            return false
        end
    end
    -- Only now is each file read; a failure leaves the archive as it was.
    local ok, err = pcall(zip.CloseArchive, 1)
    print(ok and ("written  " .. archive) or ("not written: " .. common.reason(err)))
    return ok
end

if select("#", ...) > 0 then
    local args, password = {...}, nil
    if args[1] == "--password" then password = table.remove(args, 2); table.remove(args, 1) end
    if #args < 2 then
        print("usage: zipupdate.lua [--password PW] ARCHIVE FILE...")
        os.exit(2)
    end
    if not update(table.remove(args, 1), args, password) then os.exit(1) end
else
    local dir = common.tempdir()
    local archive = dir .. "/demo.zip"
    common.write(dir .. "/notes.txt", "first notes\n")
    common.write(dir .. "/plan.txt", common.sampleText(20000, 1))
    zip.OpenArchive(1, archive, 1006)
    zip.AddFile(1, dir .. "/notes.txt", {compression = ZIP_CM_STORE, comment = "kept"})
    zip.AddFile(1, dir .. "/plan.txt", {encryption = ZIP_EM_AES_256, password = "demo"})
    zip.CloseArchive(1)

    common.write(dir .. "/notes.txt", "second notes, longer than the first\n")
    common.write(dir .. "/todo.txt", "a new file\n")
    assert(update(archive, {dir .. "/notes.txt", dir .. "/plan.txt", dir .. "/todo.txt"}, "demo"))

    zip.OpenArchive(1, archive)
    local notes = zip.LocateFile(1, "notes.txt")
    local attributes = zip.GetFileAttributes(1, notes)
    assert(attributes.compression == ZIP_CM_STORE and zip.GetFileComment(1, notes) == "kept",
           "the replaced entry lost its settings")
    assert(zip.GetFileAttributes(1, zip.LocateFile(1, "plan.txt")).encryption == ZIP_EM_AES_256)
    zip.ExtractFile(1, notes, dir .. "/out.txt")
    assert(common.read(dir .. "/out.txt") == common.read(dir .. "/notes.txt"))
    print(("%d entries: %s, %s, %s"):format(common.entryCount(1), zip.GetFileAtIndex(1, 0),
                                            zip.GetFileAtIndex(1, 1), zip.GetFileAtIndex(1, 2)))
    zip.CloseArchive(1)
    common.remove(dir)
end
