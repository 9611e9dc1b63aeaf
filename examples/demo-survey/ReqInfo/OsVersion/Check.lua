-- The device's operating system must reach the version the requirement
-- names ("major.minor"). Answers 1 when it does; otherwise 0 and the reason.
function check(minimum)
  local wantMajor, wantMinor = string.match(minimum or "", "^(%d+)%.(%d+)$")
  if not wantMajor then
    return 0, "The requirement names no version: " .. tostring(minimum)
  end
  wantMajor, wantMinor = tonumber(wantMajor), tonumber(wantMinor)
  local major, minor = HalOut:getOSVersion()
  if major == nil then
    return 0, "The device's operating system version cannot be read."
  end
  if major > wantMajor or (major == wantMajor and minor >= wantMinor) then
    return 1, ""
  end
  return 0, string.format("Demo Survey needs operating system %d.%d or later; this device has %d.%d.",
                          wantMajor, wantMinor, major, minor)
end
