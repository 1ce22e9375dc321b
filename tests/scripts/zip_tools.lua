-- Archives made, and archives written here read back, by tools no one here wrote.
local T = require("testlib")
local q = T.quote

local Z = {}

-- What python3's zipfile finds (zip_facts.py), each entry also under its name (or an error).
function Z.facts(archive, password)
    local output, ok = T.run("python3 zip_facts.py " .. q(archive) .. (password and " " .. q(password) or ""))
    if not ok then error("zip_facts.py failed on " .. archive .. ":\n" .. output, 2) end
    local facts, names = assert(load(output, "zip_facts", "t", {}))(), {}
    for _, entry in ipairs(facts.entries) do names[#names + 1], facts[entry.name] = entry.name, entry end
    facts.names = table.concat(names, ",")
    return setmetatable(facts, {__index = function(_, name)
        error(("no entry %q; the archive holds: %s"):format(name, facts.names), 2)
    end})
end

-- Info-ZIP's test of the archive (entries matching exclude left out) must pass.
function Z.unzip_test(archive, password, exclude)
    local output, ok = T.run(("unzip -t %s%s%s"):format(password and "-P " .. q(password) .. " " or "", q(archive),
                                                       exclude and " -x " .. q(exclude) or ""))
    if not ok then error("unzip -t failed on " .. archive .. ":\n" .. output, 2) end
end

-- 7-Zip (never left to ask for a password) extracts the entry named (its data) or all (the folder).
function Z.sevenzip_extract(archive, password, name)
    local folder = T.tmpdir()
    local output, ok = T.run(("7zz x -y -bso1 -bse1 -bsp0 -p%s -o%s %s %s"):format(
        q(password or "none given"), q(folder), q(archive), name and q(name) or ""))
    if not ok then error("7zz x failed:\n" .. output, 2) end
    return name and T.read(folder .. "/" .. name) or folder
end

-- An archive of one kind of make_fixture.py, and the folder of its entries' data.
function Z.python(kind, ...)
    local dir = T.tmpdir()
    local archive = dir .. "/" .. kind .. ".zip"
    T.sh(("python3 make_fixture.py %s %s %s %s"):format(kind, q(archive), q(dir .. "/payload"),
                                                       table.concat({...}, " ")))
    return archive, dir .. "/payload"
end

return Z
