-- Reading back archives that zip.cvx wrote, with tools that no one here
-- wrote: python3's zipfile (through zip_facts.py), Info-ZIP unzip, 7-Zip and
-- bsdtar. Used by the tests of the commands that write archives.
local T = require("testlib")

local Z = {}

-- Output of a command and whether it succeeded (true or false).
local function run(command)
    local output, ok = T.run(command)
    return output, ok == true
end

local function quote(text)
    return "'" .. tostring(text):gsub("'", "'\\''") .. "'"
end
Z.quote = quote

-- What python3's zipfile finds: {comment, entries = {...}} (see zip_facts.py).
function Z.facts(archive, password)
    local command = "python3 zip_facts.py " .. quote(archive)
    if password then command = command .. " " .. quote(password) end
    local output, ok = run(command)
    if not ok then error("zip_facts.py failed on " .. archive .. ":\n" .. output, 2) end
    local facts = assert(load(output, "zip_facts", "t", {}))()
    facts.byName = {}
    for _, entry in ipairs(facts.entries) do facts.byName[entry.name] = entry end
    return facts
end

-- The entry of that name, or an error naming what the archive holds.
function Z.entry(facts, name)
    local entry = facts.byName[name]
    if entry == nil then
        local names = {}
        for _, e in ipairs(facts.entries) do names[#names + 1] = e.name end
        error(("no entry %q; the archive holds: %s"):format(name, table.concat(names, ", ")), 2)
    end
    return entry
end

function Z.names(facts)
    local names = {}
    for _, entry in ipairs(facts.entries) do names[#names + 1] = entry.name end
    return table.concat(names, ",")
end

-- Info-ZIP: tests the archive (entries matching exclude are left out).
function Z.unzip_test(archive, password, exclude)
    local command = "unzip -t "
    if password then command = command .. "-P " .. quote(password) .. " " end
    command = command .. quote(archive)
    if exclude then command = command .. " -x " .. quote(exclude) end
    return run(command)
end

-- Info-ZIP: one entry's contents.
function Z.unzip_print(archive, name, password)
    local command = "unzip -p "
    if password then command = command .. "-P " .. quote(password) .. " " end
    return run(command .. quote(archive) .. " " .. quote(name))
end

-- 7-Zip is never left to ask for a password: without one it gets a wrong one.
local function sevenzip_password(password)
    return "-p" .. quote(password or "no password given")
end

function Z.sevenzip_test(archive, password)
    return run(("7zz t -bso1 -bse1 -bsp0 %s %s"):format(sevenzip_password(password),
                                                          quote(archive)))
end

-- 7-Zip extracts everything (or the one entry named) into a fresh folder;
-- returns the folder.
function Z.sevenzip_extract(archive, password, name)
    local folder = T.tmpdir()
    local output, ok = run(("7zz x -y -bso1 -bse1 -bsp0 %s -o%s %s %s"):format(
        sevenzip_password(password), quote(folder), quote(archive), name and quote(name) or ""))
    if not ok then error("7zz x failed:\n" .. output, 2) end
    return folder
end

-- bsdtar's listing: one line per entry.
function Z.bsdtar_list(archive)
    return run("bsdtar -tvf " .. quote(archive))
end

-- A file with given contents and modification time (a `touch -d` date).
function Z.file(path, contents, date)
    T.write(path, contents)
    if date then T.sh(("touch -d %s %s"):format(quote(date), quote(path))) end
    return path
end

-- Runs f and returns the host's code and message of the error it raises.
function Z.fails(f, ...)
    local ok, message = pcall(f, ...)
    if ok then error("expected the call to fail, but it succeeded", 2) end
    return host.LastErrorCode(), tostring(message)
end

-- The code of the error f raises must be code (a host code or a message).
function Z.fails_with(expected, f, ...)
    local ok, message = pcall(f, ...)
    if ok then error(("expected %s, but the call succeeded"):format(expected), 2) end
    message = tostring(message)
    if type(expected) == "number" then
        if host.LastErrorCode() ~= expected then
            error(("expected code %d, got %d: %s"):format(expected, host.LastErrorCode(), message), 2)
        end
    elseif not message:find(expected, 1, true) then
        error(("expected %q, got %q"):format(expected, message), 2)
    end
    return message
end

Z.ZIP_ERROR = "A zip error has occurred!"
Z.NO_ARCHIVE = "Cannot find specified zip archive!"

return Z
