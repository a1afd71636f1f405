// Takes the README's picture of the web page: a search of the Bulgarian
// word list, in a window the size of a small laptop's.
//   node tools/web_screenshot.mjs SITE ENDING OUT.png
import { launch, open, serve, typeEnding } from "./browser.mjs";

const [site, ending, out] = process.argv.slice(2);
const server = await serve(site);
const browser = await launch();
try {
  const page = await open(browser, server.url);
  await page.setViewport({ width: 720, height: 540 });
  await typeEnding(page, ending);
  await page.click("#row-2");
  await page.screenshot({ path: out });
} finally {
  await browser.close();
  await server.close();
}
