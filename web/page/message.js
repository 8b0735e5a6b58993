// The program's messages.
import { applicationOf, element, withAccessKey } from "./dom.js";

let messages = 0; // for each message's own ids

// A message as the windows show it: modal, its first button the default,
// left by Escape only where it asks nothing (it has one button); then the
// keyboard is back where it was. `buttons`: each button's label, from the
// program, and the answer it gives; Escape gives the one button's, or -1
// on a message that can be `declined` (one that leads to a browser's
// prompt).
//
// Modal as the page makes it, not as the browser's modal dialog is: that
// takes the rest of the page out of what a screen reader sees while it is
// up, and puts it back, every row of the list, as it goes, and Orca, told
// of each, falls seconds behind. The message covers the page, which takes
// no click and no key while it is up, and keeps Tab among its buttons. It
// is in the page's application (applicationOf), as the window is.
export function message(text, title, buttons, declined = false) {
  return new Promise((resolve) => {
    const back = document.activeElement;
    const id = `message-${++messages}`;
    const box = element(
      "div",
      { class: "box" },
      element("h2", { class: "caption", id: `${id}-title` }, title),
      element("p", { class: "text", id: `${id}-text` }, text.replace(/\r\n/g, "\n"))
    );
    const dialog = element(
      "dialog",
      { class: "message", "aria-labelledby": `${id}-title`, "aria-describedby": `${id}-text` },
      box
    );
    const question = buttons.length > 1;
    const row = element("div", { class: "buttons" });
    let answered = false;
    const answer = (value) => {
      if (answered) return;
      answered = true;
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
    box.append(row);
    dialog.addEventListener("keydown", (event) => {
      event.stopPropagation();
      if (answered) return;
      if (event.key === "Escape") {
        event.preventDefault();
        if (!question) answer(declined ? -1 : buttons[0][1]);
        return;
      }
      if (event.key === "Tab") {
        event.preventDefault();
        const all = [...row.querySelectorAll("button")];
        const at = all.indexOf(document.activeElement);
        all[(at + (event.shiftKey ? all.length - 1 : 1)) % all.length].focus();
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
    // A click beside the message, on the page it covers, keeps the
    // keyboard in the message.
    dialog.addEventListener("mousedown", (event) => {
      if (event.target === dialog) event.preventDefault();
    });
    applicationOf(document).append(dialog);
    dialog.show();
    row.querySelector("button").focus();
  });
}

// Whether a message is up, waiting for its answer.
export const messageUp = () => document.querySelector("dialog.message[open]") !== null;
