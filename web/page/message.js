// The program's messages.
import { element, withAccessKey } from "./dom.js";

let messages = 0; // for each message's own ids

// A message as the windows show it: modal, its first button the default,
// left by Escape only where it asks nothing (it has one button); then the
// keyboard is back where it was. `buttons`: each button's label, from the
// program, and the answer it gives; Escape gives the one button's, or -1
// on a message that can be `declined` (one that leads to a browser's
// prompt).
export function message(text, title, buttons, declined = false) {
  return new Promise((resolve) => {
    const back = document.activeElement;
    const id = `message-${++messages}`;
    const dialog = element(
      "dialog",
      { class: "message", role: "alertdialog", "aria-labelledby": `${id}-title`, "aria-describedby": `${id}-text` },
      element("h2", { class: "caption", id: `${id}-title` }, title),
      element("p", { class: "text", id: `${id}-text` }, text.replace(/\r\n/g, "\n"))
    );
    const question = buttons.length > 1;
    const row = element("div", { class: "buttons" });
    let answered = false;
    const answer = (value) => {
      answered = true;
      dialog.close();
      dialog.remove();
      if (back && back.isConnected) back.focus();
      resolve(value);
    };
    for (const [label, value] of buttons) {
      const shown = withAccessKey(label);
      const button = element("button", { type: "button", "data-key": shown.key }, ...shown.nodes);
      button.addEventListener("click", () => answer(value));
      row.append(button);
    }
    dialog.append(row);
    dialog.addEventListener("keydown", (event) => {
      event.stopPropagation();
      if (event.key === "Escape") {
        event.preventDefault();
        if (!question) answer(declined ? -1 : buttons[0][1]);
        return;
      }
      // A message has the keyboard as a window's message box has: no
      // access key reaches the page, nor the browser's menus (Firefox's
      // Alt+E, Edit).
      if (event.altKey) event.preventDefault();
      if (event.ctrlKey || event.metaKey || event.key.length !== 1) return;
      const button = row.querySelector(`[data-key="${event.key.toUpperCase()}"]`);
      if (button) {
        event.preventDefault();
        button.click();
      }
    });
    dialog.addEventListener("cancel", (event) => {
      event.preventDefault();
      if (!question) answer(declined ? -1 : buttons[0][1]);
    });
    // A browser may close a dialog that refused Escape twice: a question
    // comes back until it is answered.
    dialog.addEventListener("close", () => {
      if (!answered) dialog.showModal();
    });
    document.body.append(dialog);
    dialog.showModal();
    const first = row.querySelector("button");
    first.focus();
    // A message put up while the window is not active, as the browser's
    // own dialog hands it back, is said by no screen reader, and Orca
    // says only the window's name as it comes back: the keyboard goes to
    // the message afresh then, to the dialog, whose words Orca says, and
    // a moment later to its button (Chromium tells of two moves in one
    // frame as one).
    if (!document.hasFocus()) {
      addEventListener(
        "focus",
        () => {
          if (answered) return;
          dialog.tabIndex = -1;
          dialog.focus();
          setTimeout(() => answered || first.focus(), 150);
        },
        { once: true }
      );
    }
  });
}
