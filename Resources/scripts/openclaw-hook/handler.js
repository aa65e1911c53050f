// murmeli hook for OpenClaw, written by murmeli's install-openclaw-hook (remove it with
// install-openclaw-hook --uninstall). It hands OpenClaw's session events to murmeli's hook command, which posts them
// with "x-murmeli-adapter: openclaw". OpenClaw's hooks observe only: nothing here can hold up or change a turn.
import { spawn } from "node:child_process"
import { createHash } from "node:crypto"

const hookCommand = "@MURMELI_HOOK_COMMAND@"
// OpenClaw's events under murmeli's names.
const murmeliEvents = {
  "command:new": "SessionStart",
  "command:reset": "SessionStart",
  "command:stop": "Stop",
  "session:compact:before": "PreCompact",
  "session:compact:after": "PostCompact",
  "message:received": "UserPromptSubmit",
  "message:sent": "Stop",
}
// The hook command keeps to its own time limits; this only guards against one that cannot be killed.
const limitMs = 10000

function post(event, body) {
  return new Promise((resolve) => {
    let child
    try {
      child = spawn("/bin/bash", [hookCommand, event], { stdio: ["pipe", "ignore", "ignore"] })
    } catch {
      return resolve()
    }
    const timer = setTimeout(() => child.kill("SIGKILL"), limitMs)
    const done = () => {
      clearTimeout(timer)
      resolve()
    }
    child.on("error", done)
    child.on("close", done)
    child.stdin.on("error", () => {})
    child.stdin.end(JSON.stringify(body))
  })
}

export default async function handler(event) {
  const name = `${event.type}:${event.action}`
  const murmeliEvent = murmeliEvents[name]
  if (!murmeliEvent || !event.sessionKey) return
  // murmeli keys a session by the first characters of its id, which must be letters, digits, "-" or "_";
  // OpenClaw's session keys hold ":".
  const sessionId = createHash("sha256").update(String(event.sessionKey)).digest("hex")
  const context = event.context || {}
  await post(murmeliEvent, {
    session_id: sessionId,
    cwd: typeof context.workspaceDir === "string" ? context.workspaceDir : "",
    hook_event_name: name,
    openclaw_session_key: String(event.sessionKey),
  })
}
