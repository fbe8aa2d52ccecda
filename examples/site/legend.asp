<%
' The legend of the chart the calling page set in its cookie: each value
' with the colour of its bar.
Option Explicit
Dim numbers, number, colours, i
colours = Array("#4080C0", "#C08040", "#60A040", "#D06060")
Set numbers = New RegExp
numbers.Pattern = "\d+"
numbers.Global = True
%>
<ol id="legend">
<% For Each number In numbers.Execute(Response.Cookies("chart")("values")) %>
  <li style="color: <%= colours(i Mod 4) %>"><%= number.Value %></li>
<% i = i + 1
Next %>
</ol>
