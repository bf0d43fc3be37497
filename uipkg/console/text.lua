-- Small text helpers for console lines.
local M = {}

-- At most limit bytes of s on one line, never cutting a UTF-8 sequence in two; "..."
-- marks a cut.
function M.short(s, limit)
  s = tostring(s or ""):gsub("[\r\n\t]", " ")
  if #s <= limit then return s end
  local cut = limit
  -- Step back while the byte after the cut continues a sequence (10xxxxxx).
  while cut > 0 and s:byte(cut + 1) and s:byte(cut + 1) >= 0x80 and s:byte(cut + 1) < 0xC0 do cut = cut - 1 end
  return s:sub(1, cut) .. "..."
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
