-- Constants shared by the UI scripts.
function RegisterObject()
  Macro = {
    -- Local ports forwarded to the agent app on the phone.
    PORT_REQUEST = 12300,
    PORT_PULL = 12301,
    PORT_PUSH = 12302,
    PORT_NOTIFY = 12303,
  }
end
