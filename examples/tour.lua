-- A tour of the zip library: what the host sees of it.
-- Run from the build folder: ./cvxhost ../examples/tour.lua

print(("The zip library, object type %d (\"ZIP archive\")"):format(zip.GetObjectType()))
print()

local names = {}
for name in pairs(zip) do names[#names + 1] = name end
table.sort(names)
print(("%d commands:"):format(#names))
for _, name in ipairs(names) do
    print("  " .. host.Help(name))
end
print()

print("Compression methods: store " .. ZIP_CM_STORE .. ", deflate " .. ZIP_CM_DEFLATE ..
      ", bzip2 " .. ZIP_CM_BZIP2 .. "; encryption: AES-256 " .. ZIP_EM_AES_256)
