// Takes the README's pictures of the web page, on the Bulgarian word list:
// a search of ENDING in a window the size of a small laptop's, and a word's
// closest rhymes on a phone (360 by 740 CSS px), opened from the address.
//   node tools/web_screenshot.mjs SITE ENDING OUT.png WORD PHONE.png
import { drawn, launch, open, serve, typeEnding } from "./browser.mjs";

const [site, ending, out, word, phoneOut] = process.argv.slice(2);
const server = await serve(site);
const browser = await launch();
try {
  const page = await open(browser, server.url);
  await page.setViewport({ width: 720, height: 540 });
  await typeEnding(page, ending);
  await page.click("#row-2");
  await page.screenshot({ path: out });

  const phone = await browser.newPage();
  await phone.setViewport({ width: 360, height: 740, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
  await phone.goto(`${server.url}?${new URLSearchParams({ q: word, word: "1" })}`);
  await drawn(phone, word, 0);
  await phone.screenshot({ path: phoneOut });
} finally {
  await browser.close();
  await server.close();
}
