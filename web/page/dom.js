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
