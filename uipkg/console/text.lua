-- Small text helpers for console lines.
local M = {}

-- A text that came from the phone or a server, fit to print on a terminal: control
-- characters (C0, DEL and the C1 range, which can move the cursor, change colours or set
-- the window title) are dropped; line breaks and tabs become blanks.
function M.clean(s)
  s = tostring(s or "")
  s = s:gsub("[\r\n\t]", " ")
  s = s:gsub("[%z\1-\31\127]", "")
  -- C1 controls, U+0080 to U+009F, in UTF-8: C2 80 to C2 9F.
  s = s:gsub("\194[\128-\159]", "")
  return s
end

-- What a download's error number means, in words: an HTTP status, a network error of the
-- socket (Winsock numbers) or an error of the HTTP client.
local STATUS_WORDS = {
  [400] = "the server refused the request (400)",
  [401] = "the server asks for a login (401)",
  [403] = "the server does not allow it (403)",
  [404] = "not found on the server (404)",
  [410] = "no longer on the server (410)",
  [407] = "the proxy asks for a login (407)",
  [408] = "the server gave up waiting (408); try again",
  [416] = "the server cannot continue the earlier part (416); cancel it and download again",
  [429] = "the server has too many requests (429); try again later",
}
local NETWORK_WORDS = {
  [10051] = "the network cannot be reached",
  [10053] = "the connection was dropped",
  [10054] = "the server reset the connection",
  [10060] = "the server did not answer in time",
  [10061] = "the server refused the connection (nothing listens there)",
  [11001] = "the server's name cannot be resolved",
  [26000001] = "the server closed the connection before the end",
  [26000002] = "too many redirections",
  [26000003] = "a redirection cannot be followed",
  [26000004] = "the server's answer is malformed",
  [25000021] = "the server's answer is malformed",
}
-- from names where code came from, when known: "http", "network", "file" or "address".
function M.download_error(code, from)
  code = tonumber(code) or 0
  if from == "address" then return "the address cannot be used" end
  if from == "file" then
    return string.format("the file cannot be written (system error %d): check the folder and the free space", code)
  end
  if from ~= "http" and NETWORK_WORDS[code] then return NETWORK_WORDS[code] end
  if STATUS_WORDS[code] then return STATUS_WORDS[code] end
  if code >= 500 and code < 600 then return string.format("the server failed (%d); try again later", code) end
  if code >= 300 and code < 600 then return string.format("the server answered %d", code) end
  return string.format("error %d", code)
end

-- At most limit bytes of s on one line, never cutting a UTF-8 sequence in two; "..."
-- marks a cut.
function M.short(s, limit)
  s = M.clean(s)
  if #s <= limit then return s end
  local cut = limit
  -- Step back while the byte after the cut continues a sequence (10xxxxxx).
  while cut > 0 and s:byte(cut + 1) and s:byte(cut + 1) >= 0x80 and s:byte(cut + 1) < 0xC0 do cut = cut - 1 end
  return s:sub(1, cut) .. "..."
end

-- Columns a code point takes on a terminal: 2 for East Asian wide characters and emoji.
local function columns_of(cp)
  if cp < 0x1100 then return 1 end
  if (cp <= 0x115F) or (cp >= 0x2E80 and cp <= 0xA4CF) or (cp >= 0xAC00 and cp <= 0xD7A3) or
    (cp >= 0xF900 and cp <= 0xFAFF) or (cp >= 0xFE30 and cp <= 0xFE4F) or (cp >= 0xFF00 and cp <= 0xFF60) or
    (cp >= 0xFFE0 and cp <= 0xFFE6) or (cp >= 0x1F300 and cp <= 0x1FAFF) or (cp >= 0x20000 and cp <= 0x3FFFD) then
    return 2
  end
  return 1
end

-- s cut to at most width columns of a terminal, "…" marking the cut, so that a line is
-- never wrapped into two; s as it is when it fits or width is not positive.
function M.fit(s, width)
  if not width or width <= 0 then return s end
  local used, cut_at, i = 0, nil, 1
  local ends = {}
  while i <= #s do
    local c = s:byte(i)
    local n = c < 0x80 and 1 or c >= 0xF0 and 4 or c >= 0xE0 and 3 or c >= 0xC0 and 2 or 1
    local cp = c
    if n > 1 then
      cp = c % (2 ^ (7 - n))
      for k = 1, n - 1 do cp = cp * 64 + ((s:byte(i + k) or 0x80) % 64) end
    end
    used = used + columns_of(cp)
    if used > width then
      cut_at = cut_at or i
      break
    end
    ends[#ends + 1] = { i + n - 1, used }
    i = i + n
  end
  if not cut_at then return s end
  -- Room for the one-column mark.
  local keep = 0
  for k = #ends, 1, -1 do
    if ends[k][2] <= width - 1 then
      keep = ends[k][1]
      break
    end
  end
  return s:sub(1, keep) .. "…"
end

-- A list line for the console: cleaned, and on a terminal cut to its width so that a
-- long name never wraps into the next line.
local shell = GetObject and GetObject("Win32Shell.Object")

-- The columns a line may take on the terminal: one less than its width, so that it never
-- wraps; nil when standard output is no terminal.
function M.room()
  local width = shell and tonumber(shell:GetConsoleWidth()) or 0
  if width > 1 then return width - 1 end
end

function M.row(s)
  s = M.clean(s)
  local room = M.room()
  return room and M.fit(s, room) or s
end

-- A time the phone gives in milliseconds since 1970 (a number or its decimal text) as
-- "2026-12-08 18:06", local time; the text as it came when it is no such number.
function M.date(ms)
  local n = tonumber(ms)
  if not n or n <= 0 then return M.clean(ms) end
  return os.date("%Y-%m-%d %H:%M", math.floor(n / 1000))
end

-- An SMS type as a direction: 1 received, 2 sent; others (drafts, outbox) by number.
function M.direction(kind)
  local k = tonumber(kind)
  if k == 1 then return "in" end
  if k == 2 then return "out" end
  return "type " .. tostring(kind)
end

-- A byte count in a readable unit. Record sizes arrive as 32-bit signed numbers, so a
-- file of 2 GiB or more may come as a negative one: its size is then unknown.
function M.bytes(n)
  n = tonumber(n) or 0
  if n < 0 then return "size unknown" end
  if n >= 1073741824 then return string.format("%.1f GiB", n / 1073741824) end
  if n >= 1048576 then return string.format("%.1f MiB", n / 1048576) end
  if n >= 1024 then return string.format("%.1f KiB", n / 1024) end
  return string.format("%d bytes", n)
end

return M
