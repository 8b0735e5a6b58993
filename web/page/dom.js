// What every part of the page draws with: elements, and the design's texts
// with their access keys.
export function element(tag, attributes = {}, ...children) {
  const made = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (value !== null && value !== undefined && value !== false) made.setAttribute(name, value);
  }
  made.append(...children);
  return made;
}

// "&Load Nations": the text with its access key underlined, and the key.
export function withAccessKey(text) {
  const at = text.indexOf("&");
  if (at < 0 || at + 1 >= text.length) return { nodes: [text], key: "" };
  return {
    nodes: [text.slice(0, at), element("u", {}, text[at + 1]), text.slice(at + 2)],
    key: text[at + 1].toUpperCase(),
  };
}

// Where the window's parts go, its messages and menus with it: the page's
// application, in which a screen reader hands every key to the page and
// tells every move of the keyboard. Orca tells none that leaves an
// application for the page around it, nor, in a page, one whose control
// went in the same moment, as a message's or a menu's button goes.
export const applicationOf = (page) => page.getElementById("application") || page.body;
