-- Archives for the tests of the reading commands, made on the fly by the
-- real tools: python's zipfile (through make_fixture.py), Info-ZIP zip and
-- 7-Zip.
local T = require("testlib")
local F = {}

-- A python-made archive of one kind of make_fixture.py. Returns its path
-- and the folder that holds each entry's data under the entry's name.
function F.python(kind, ...)
    local dir = T.tmpdir()
    local archive = dir .. "/" .. kind .. ".zip"
    local extra = {}
    for i, a in ipairs({...}) do extra[i] = "'" .. a .. "'" end
    T.sh(("python3 make_fixture.py %s '%s' '%s/payload' %s"):format(kind, archive, dir,
                                                                    table.concat(extra, " ")))
    return archive, dir .. "/payload"
end

-- The folder of a fresh set of files: name -> data.
function F.files(contents)
    local dir = T.tmpdir()
    for name, data in pairs(contents) do T.write(dir .. "/" .. name, data) end
    return dir
end

-- Runs a tool in dir; the tool's output is shown when it fails.
function F.tool(dir, command)
    local output, ok = T.run(("cd '%s' && %s"):format(dir, command))
    if not ok then error("tool failed: " .. command .. "\n" .. output, 2) end
end

-- Bytes that do not compress well, reproducible from the seed.
function F.noise(size, seed)
    local state = seed or 1
    local parts = {}
    for i = 1, size // 4 do
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        parts[i] = string.pack("<I4", state)
    end
    return table.concat(parts) .. ("z"):rep(size % 4)
end

-- Opens an archive under a number for the duration of f.
function F.with_archive(number, path, f)
    zip.OpenArchive(number, path)
    local ok, err = pcall(f)
    zip.CloseArchive(number)
    if not ok then error(err, 0) end
end

return F
