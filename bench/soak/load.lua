-- wrk's requests for the soak: pages, a 64 KiB file, a missing file and a path over 1 KiB (cut in
-- the log), in turn; each connection waits SOAK_WRK_DELAY_MS between requests, so the load is
-- steady and leaves the machine's other work room.
local paths = { "/", "/index.html", "/page.html", "/missing.html", "/" .. string.rep("x", 1500) }
local i = 0
local pause = tonumber(os.getenv("SOAK_WRK_DELAY_MS") or "4")

request = function()
    i = i % #paths + 1
    return wrk.format("GET", paths[i])
end

delay = function()
    return pause
end
