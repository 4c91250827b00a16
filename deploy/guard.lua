-- lighttpd mod_magnet script of deploy/lighttpd.conf. It
--   puts the security headers on every answer, the server's own refusals
--   included (mod_setenv misses the ones lighttpd gives to requests it
--   cannot parse);
--   refuses, for a while, a client address that keeps failing the login;
--   answers 400 to plain HTTP that cannot be redirected to HTTPS.
--
-- The configuration runs this one file at two points of every request, so
-- that both runs share one Lua state (lighttpd keeps one per script file):
--   before the login is checked (magnet.attract-raw-url-to): a locked
--   address gets 429 with Retry-After, whatever it asks for;
--   at the start of every response (magnet.attract-response-start-to): the
--   headers; a 401 to a request that carried a login counts as a failure,
--   an answer below 400 to one (the login was right) forgets the address.
-- A browser's first request carries no login and gets 401 to learn the
-- challenge: that is not a failure.

local FAILURES = 10        -- failed logins from one address ...
local WINDOW = 60          -- ... within this many seconds ...
local LOCK = 60            -- ... refuse that address for this many seconds.
local MAX_ADDRESSES = 512  -- addresses remembered at once

-- The pages load only their own files, cannot be framed by another site and
-- post only to the device; no content sniffing; no address of the device
-- is passed on to another site.
local HEADERS = {
    ["Content-Security-Policy"] = "default-src 'self'; frame-ancestors 'none'; "
        .. "base-uri 'none'; form-action 'self'",
    ["X-Content-Type-Options"] = "nosniff",
    ["Referrer-Policy"] = "no-referrer",
}
-- Over HTTPS only (browsers ignore it over plain HTTP): a browser that has
-- been here keeps to HTTPS for a year.
local HTTPS_HEADERS = {
    ["Strict-Transport-Security"] = "max-age=31536000",
}

-- Names the script sets are cleared after every run; _G is the state's own
-- global table, which lives as long as the server.
local book = _G.webcfg_login_failures
if not book then
    book = { count = 0, by_address = {} }
    _G.webcfg_login_failures = book
end

local r = lighty.r
local now = os.time()
local address = r.req_attr["request.remote-addr"]
local https = r.req_attr["uri.scheme"] == "https"
-- No status yet: the request has not been answered, this is the first run.
local status = r.req_item.http_status

if status == 0 then
    -- The configuration leaves plain HTTP to this script only where it can
    -- make no redirect to HTTPS (no usable Host): nothing is served there.
    if not https then
        return 400
    end
    local entry = book.by_address[address]
    if entry and entry.locked_until and now < entry.locked_until then
        -- With a body of its own, or lighttpd puts its error page and
        -- drops the headers set here.
        local wait = entry.locked_until - now
        r.resp_header["Retry-After"] = tostring(wait)
        r.resp_header["Content-Type"] = "text/plain; charset=utf-8"
        r.resp_body.set(string.format("too many failed logins from this address; try again in %d s\n", wait))
        return 429
    end
    return 0
end

for name, value in pairs(HEADERS) do
    r.resp_header[name] = value
end
if https then
    for name, value in pairs(HTTPS_HEADERS) do
        r.resp_header[name] = value
    end
end

if r.req_header["Authorization"] == nil then
    return 0
end
if status < 400 then
    if book.by_address[address] then
        book.by_address[address] = nil
        book.count = book.count - 1
    end
    return 0
end
if status ~= 401 then
    return 0
end

local entry = book.by_address[address]
if not entry then
    if book.count >= MAX_ADDRESSES then
        -- Forget the addresses that no longer matter; when all still do,
        -- the one that matters for the shortest time.
        local soonest, soonest_address
        for a, e in pairs(book.by_address) do
            if e.expires <= now then
                book.by_address[a] = nil
                book.count = book.count - 1
            elseif not soonest or e.expires < soonest then
                soonest, soonest_address = e.expires, a
            end
        end
        if book.count >= MAX_ADDRESSES then
            book.by_address[soonest_address] = nil
            book.count = book.count - 1
        end
    end
    entry = { times = {} }
    book.by_address[address] = entry
    book.count = book.count + 1
end

-- The times of the latest failures, at most FAILURES of them.
local times = entry.times
times[#times + 1] = now
if #times > FAILURES then
    table.remove(times, 1)
end
entry.expires = now + WINDOW
if #times == FAILURES and now - times[1] < WINDOW then
    entry.locked_until = now + LOCK
    entry.expires = entry.locked_until
    entry.times = {}
    print(string.format("login: %s refused for %d s after %d failed logins within %d s",
                        address, LOCK, FAILURES, WINDOW))
end
return 0
