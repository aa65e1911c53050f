// murmeli plugin for OpenCode, written by murmeli's install-opencode-hook (remove it with
// install-opencode-hook --uninstall). It hands OpenCode's session and tool events to murmeli's hook command, which
// posts them with "x-murmeli-adapter: opencode", and waits for murmeli's decision before a shell command or a file
// change: a denial stops the tool, anything else leaves it to OpenCode's own rules.
import { spawn } from "node:child_process"

const hookCommand = "@MURMELI_HOOK_COMMAND@"
// OpenCode's tools under the names murmeli's panel knows them by.
const heldTools = { bash: "Bash", edit: "Edit", write: "Write" }
// The hook command keeps to its own time limits; this only guards against a command that cannot be killed.
const replyLimitMs = 65000
const maxReplyBytes = 65536

function post(event, body) {
  return new Promise((resolve) => {
    let reply = ""
    let done = false
    const finish = () => {
      if (!done) {
        done = true
        clearTimeout(timer)
        resolve(reply)
      }
    }
    let child
    try {
      child = spawn("/bin/bash", [hookCommand, event], { stdio: ["pipe", "pipe", "ignore"] })
    } catch {
      return resolve("")
    }
    const timer = setTimeout(() => {
      child.kill("SIGKILL")
      finish()
    }, replyLimitMs)
    child.stdout.on("data", (chunk) => {
      if (reply.length < maxReplyBytes) reply += chunk.toString("utf8")
    })
    child.on("error", finish)
    child.on("close", finish)
    child.stdin.on("error", () => {})
    child.stdin.end(JSON.stringify(body))
  })
}

function toolInput(tool, args) {
  const a = args || {}
  if (tool === "bash") return { command: a.command, description: a.description }
  if (tool === "edit" || tool === "write") return { file_path: a.filePath }
  return a
}

function deniedMessage(reply) {
  try {
    const decision = JSON.parse(reply).hookSpecificOutput.decision
    if (decision.behavior === "deny") return decision.message || "Denied in murmeli"
  } catch {}
  return null
}

export const Murmeli = async ({ directory }) => {
  const base = (sessionID, name) => ({ session_id: sessionID, cwd: directory, hook_event_name: name })
  // The arguments of calls under way, for their "after" event, which does not repeat them.
  const argsByCall = new Map()
  return {
    event: async ({ event }) => {
      const p = event.properties || {}
      if (event.type === "session.created" && p.info) await post("SessionStart", base(p.info.id, event.type))
      else if (event.type === "session.deleted" && p.info) await post("SessionEnd", base(p.info.id, event.type))
      else if (event.type === "session.idle") await post("Stop", base(p.sessionID, event.type))
      else if (event.type === "permission.asked" || event.type === "permission.updated")
        await post("Notification", { ...base(p.sessionID, event.type), notification_type: "permission_prompt",
          message: p.title || p.permission || "" })
    },
    "chat.message": async (input) => {
      await post("UserPromptSubmit", base(input.sessionID, "chat.message"))
    },
    "tool.execute.before": async (input, output) => {
      if (argsByCall.size > 1000) argsByCall.clear()
      argsByCall.set(input.callID, output.args)
      const name = heldTools[input.tool]
      if (!name) return
      const reply = await post("PermissionRequest", { ...base(input.sessionID, "tool.execute.before"),
        tool_name: name, tool_use_id: input.callID, tool_input: toolInput(input.tool, output.args) })
      const denied = deniedMessage(reply)
      if (denied !== null) throw new Error(denied)
    },
    "tool.execute.after": async (input, output) => {
      const args = argsByCall.get(input.callID)
      argsByCall.delete(input.callID)
      const failed = output && output.metadata && typeof output.metadata.exit === "number" && output.metadata.exit !== 0
      await post(failed ? "PostToolUseFailure" : "PostToolUse", { ...base(input.sessionID, "tool.execute.after"),
        tool_name: heldTools[input.tool] || input.tool, tool_use_id: input.callID,
        tool_input: toolInput(input.tool, args), tool_response: { title: output && output.title } })
    },
  }
}
